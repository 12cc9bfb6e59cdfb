#include "present/dialogs_win32.h"

#include "platform/system_win32.h"
#include "platform/ansi_text_win32.h"

namespace quorvanel {

void Win32Dialogs::ShowMessage(std::wstring_view text, std::wstring_view caption) {
    const std::string ansiText = ToAnsi(text);
    const std::string ansiCaption = ToAnsi(caption);
    // Modal: its own message loop keeps the owner's timers running while it is open.
    MessageBoxA(owner_, ansiText.c_str(), ansiCaption.c_str(), MB_OK);
}

std::wstring Win32Dialogs::ToLowerCase(std::wstring_view text) { return sys::LowerCase(text); }

}  // namespace quorvanel
