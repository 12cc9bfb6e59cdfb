#include "relay/history_watch.h"

namespace quorvanel {

HistoryStamp StampHistory(WindowSystem& windows, WindowHandle box) {
    HistoryStamp stamp;
    stamp.box = box;
    stamp.length = windows.SendGetTextLengthW(box);
    stamp.head = windows.SendGetText(box, kHistoryHeadChars + 1);
    return stamp;
}

bool LooksUnchanged(WindowSystem& windows, const HistoryStamp& stamp) {
    if (stamp.box == 0) return false;
    const HistoryStamp now = StampHistory(windows, stamp.box);
    return now.length == stamp.length && now.head == stamp.head;
}

}  // namespace quorvanel
