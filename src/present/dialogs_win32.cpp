#include "present/dialogs_win32.h"

#include <climits>

#include "relay/ansi_text_win32.h"

namespace quorvanel {

void Win32Dialogs::ShowMessage(std::wstring_view text, std::wstring_view caption) {
    const std::string ansiText = ToAnsi(text);
    const std::string ansiCaption = ToAnsi(caption);
    // Modal: its own message loop keeps the owner's timers running while it is open.
    MessageBoxA(owner_, ansiText.c_str(), ansiCaption.c_str(), MB_OK);
}

std::wstring Win32Dialogs::ToLowerCase(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring(text);
    const int length = static_cast<int>(text.size());
    std::wstring lower(text.size(), L'\0');
    // Lower-casing never changes the length in UTF-16 with this mapping.
    if (LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text.data(), length, lower.data(),
                     length) != length) {
        return std::wstring(text);
    }
    return lower;
}

}  // namespace quorvanel
