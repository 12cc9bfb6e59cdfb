#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/window_system.h"

namespace quorvanel {

// Reading a whole history makes the messenger produce and copy all of its text, which for a long
// conversation costs far more than the rest of a tick. A history is therefore read only when it
// looks changed, by two queries whose cost does not grow with it: its length and its first
// characters.
//
// This rests on how a messenger changes a history: it appends lines, clears it, or drops old
// lines from its start; each of these changes the length or the first characters. An edit that
// keeps both (rewriting text in place with text of the same length) is not seen by the queries;
// every history is therefore still read in full once every kFullReadEveryTicks ticks.
inline constexpr int kFullReadEveryTicks = 60;
inline constexpr std::size_t kHistoryHeadChars = 64;

// What a history looked like when it was last read in full.
struct HistoryStamp {
    WindowHandle box = 0;  // 0: never read
    std::int64_t length = 0;
    std::wstring head;
};

// Whether the history control must be read in full: it is not the one stamped, its length or its
// first characters differ from the stamp, or fullReadDue. When it must, the stamp takes what was
// seen now; the caller reads the text after this call, so a change in between is seen next time.
bool HistoryNeedsReading(WindowSystem& windows, WindowHandle box, HistoryStamp& stamp,
                         bool fullReadDue);

}  // namespace quorvanel
