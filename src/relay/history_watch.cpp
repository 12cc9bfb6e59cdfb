#include "relay/history_watch.h"

#include <climits>

#include "relay/messenger_window.h"

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

std::wstring ReadStampedHistory(WindowSystem& windows, const HistoryStamp& stamp) {
    std::int64_t length = stamp.length;
    // A vanished control answers 0; a nonsensical answer is treated the same way.
    if (length < 0 || length > (INT_MAX - 1) / 2) length = 0;
    const auto bufferChars = static_cast<std::size_t>(2 * length + 1);
    std::wstring text = CutAtNul(windows.SendGetText(stamp.box, bufferChars));
    text.push_back(L'\0');
    return text;
}

}  // namespace quorvanel
