#include "relay/history_watch.h"

namespace quorvanel {

bool HistoryNeedsReading(WindowSystem& windows, WindowHandle box, HistoryStamp& stamp,
                         bool fullReadDue) {
    const std::int64_t length = windows.SendGetTextLengthW(box);
    std::wstring head = windows.SendGetText(box, kHistoryHeadChars + 1);
    if (!fullReadDue && box == stamp.box && length == stamp.length && head == stamp.head) {
        return false;
    }
    stamp = {box, length, std::move(head)};
    return true;
}

}  // namespace quorvanel
