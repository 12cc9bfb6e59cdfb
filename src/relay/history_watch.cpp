#include "relay/history_watch.h"

namespace quorvanel {

HistoryStamp StampHistory(WindowSystem& windows, WindowHandle box) {
    HistoryStamp stamp;
    stamp.box = box;
    stamp.length = windows.SendGetTextLengthW(box);
    stamp.head = windows.SendGetText(box, kHistoryHeadChars + 1);
    return stamp;
}

bool LooksUnchanged(WindowSystem& windows, const HistoryStamp& stamp, bool checkHead) {
    if (stamp.box == 0 || windows.SendGetTextLengthW(stamp.box) != stamp.length) return false;
    return !checkHead || windows.SendGetText(stamp.box, kHistoryHeadChars + 1) == stamp.head;
}

}  // namespace quorvanel
