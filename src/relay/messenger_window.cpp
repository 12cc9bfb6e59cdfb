#include "relay/messenger_window.h"

#include <charconv>
#include <climits>

namespace quorvanel {
namespace {

constexpr wchar_t kRichEditAnsi[] = L"RichEdit20A";
constexpr wchar_t kRichEditWide[] = L"RichEdit20W";

std::wstring_view FirstWord(std::wstring_view text) {
    return text.substr(0, text.find(L' '));
}

// Handles in the accumulator are decimal 32-bit integers written by CollectWindowsOfClass; a word
// that is not one (cannot happen unless the accumulator is corrupted) counts as no window.
WindowHandle ParseHandle(std::wstring_view word) {
    std::string narrow;
    narrow.reserve(word.size());
    for (wchar_t c : word) {
        if (c > 0x7F) return 0;
        narrow.push_back(static_cast<char>(c));
    }
    WindowHandle value = 0;
    auto [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error != std::errc() || end != narrow.data() + narrow.size()) return 0;
    return value;
}

}  // namespace

bool CollectWindowsOfClass(WindowSystem& windows, WindowHandle window, std::wstring& accumulator) {
    const std::wstring className = CutAtNul(windows.ReadClassName(window, kNameBufferChars));
    if (className == FirstWord(accumulator)) {
        accumulator += std::to_wstring(window);
        accumulator += L' ';
    }
    return true;
}

std::vector<WindowHandle> ListConversationWindows(WindowSystem& windows) {
    std::wstring accumulator = std::wstring(kConversationWindowClass) + L' ';
    windows.EnumerateWindows([&](WindowHandle window) {
        return CollectWindowsOfClass(windows, window, accumulator);
    });

    // Words split on single spaces: the class, then one handle per window, then an empty word.
    std::vector<WindowHandle> handles;
    std::size_t start = accumulator.find(L' ') + 1;
    while (start < accumulator.size()) {
        const std::size_t end = accumulator.find(L' ', start);
        const std::size_t stop = end == std::wstring::npos ? accumulator.size() : end;
        handles.push_back(ParseHandle(std::wstring_view(accumulator).substr(start, stop - start)));
        start = stop + 1;
    }
    return handles;
}

std::wstring GetConversationTitle(WindowSystem& windows, WindowHandle window) {
    return CutAtNul(windows.ReadWindowTitle(window, kNameBufferChars));
}

WindowHandle FindHistoryBox(WindowSystem& windows, WindowHandle window) {
    const WindowHandle ansi = windows.FindChild(window, 0, kRichEditAnsi);
    if (ansi != 0) return ansi;
    return windows.FindChild(window, 0, kRichEditWide);
}

WindowHandle FindInputBox(WindowSystem& windows, WindowHandle window) {
    // The wide class is looked at only when there is no ANSI rich edit at all: a window with one
    // ANSI rich edit has no entry box, whatever wide ones it holds.
    WindowHandle first = windows.FindChild(window, 0, kRichEditAnsi);
    WindowHandle second = windows.FindChild(window, first, kRichEditAnsi);
    if (first == 0) {
        first = windows.FindChild(window, 0, kRichEditWide);
        second = windows.FindChild(window, first, kRichEditWide);
    }
    return second;
}

WindowHandle FindSendButton(WindowSystem& windows, WindowHandle window) {
    return windows.FindChild(window, 0, L"Button");
}

std::wstring GetControlText(WindowSystem& windows, WindowHandle control) {
    std::int64_t length = windows.SendGetTextLength(control);
    // A vanished control answers 0; a nonsensical answer is treated the same way.
    if (length < 0 || length > INT_MAX - 1) length = 0;
    return windows.SendGetText(control, static_cast<std::size_t>(length) + 1);
}

void SetControlText(WindowSystem& windows, WindowHandle control, const std::wstring& text) {
    windows.SendSetText(control, text);
}

void TapSpaceKey(WindowSystem& windows, WindowHandle control) {
    windows.SendKeyMessage(control, kWmKeyDown, kVkSpace);
    windows.SendKeyMessage(control, kWmKeyUp, kVkSpace);
}

}  // namespace quorvanel
