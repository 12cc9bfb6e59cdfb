#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/window_system.h"

namespace quorvanel {

// Reading a whole history makes the messenger produce and copy all of its text, which for a long
// conversation costs far more than the rest of a tick. A history is therefore read only when it
// looks changed, by two queries whose cost does not grow with it: its length, asked every tick,
// and its first characters, asked every kHeadCheckEveryTicks ticks (each query is a round trip
// to the messenger, which costs this program more than anything else in a tick).
//
// This rests on how a messenger changes a history: it appends lines, clears it, or drops old
// lines from its start; each of these changes the length or the first characters. An edit that
// keeps both (rewriting text in place with text of the same length) is not seen by the queries;
// every history is therefore still read in full once every kFullReadEveryTicks ticks. So is a
// history control that the window replaced while both the old and the new one were empty. Under
// Wine a full read of 1 MB costs the messenger about 0.08 s of processor time, so ten such
// histories read once every five minutes cost it under 0.3 % of a core.
inline constexpr int kFullReadEveryTicks = 300;
inline constexpr int kHeadCheckEveryTicks = 5;
inline constexpr std::size_t kHistoryHeadChars = 64;

// A history control as it looked just before its last full read.
struct HistoryStamp {
    WindowHandle box = 0;  // 0: never read
    std::int64_t length = 0;
    std::wstring head;
};

// Asks the control for the stamp's queries; call it before reading the text, so that a change
// made in between shows at the next look.
HistoryStamp StampHistory(WindowSystem& windows, WindowHandle box);

// Whether the stamped control still answers as it did: its length, and when checkHead its first
// characters.
bool LooksUnchanged(WindowSystem& windows, const HistoryStamp& stamp, bool checkHead);

// The stamped control's whole text and a NUL, as GetControlText gives it, read in a buffer sized
// from the stamp's length: asking for the length in ANSI bytes, as GetControlText does, costs the
// messenger under Wine more than producing the text itself. No character takes more than two
// bytes in an ANSI code page; a text that grew past the buffer since the stamp is cut, and read
// again at the next look, since its length changed.
std::wstring ReadStampedHistory(WindowSystem& windows, const HistoryStamp& stamp);

}  // namespace quorvanel
