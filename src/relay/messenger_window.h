#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "relay/window_system.h"

namespace quorvanel {

inline constexpr wchar_t kConversationWindowClass[] = L"IMWindowClass";
inline constexpr int kNameBufferChars = 260;

inline constexpr unsigned kWmKeyDown = 0x0100;
inline constexpr unsigned kWmKeyUp = 0x0101;
inline constexpr unsigned kVkSpace = 32;

// EnumWindows callback: appends the window's handle and a space to the accumulator when its class
// equals the accumulator's first word. Always asks for more windows.
bool CollectWindowsOfClass(WindowSystem& windows, WindowHandle window, std::wstring& accumulator);

// The messenger's conversation windows in enumeration order.
std::vector<WindowHandle> ListConversationWindows(WindowSystem& windows);

std::wstring GetConversationTitle(WindowSystem& windows, WindowHandle window);

// First rich edit child: the conversation history.
WindowHandle FindHistoryBox(WindowSystem& windows, WindowHandle window);
// Second rich edit child: the entry box.
WindowHandle FindInputBox(WindowSystem& windows, WindowHandle window);
// First button child: Send.
WindowHandle FindSendButton(WindowSystem& windows, WindowHandle window);

// The control's whole text buffer: its text and the terminating NUL.
std::wstring GetControlText(WindowSystem& windows, WindowHandle control);
void SetControlText(WindowSystem& windows, WindowHandle control, const std::wstring& text);
// A space key press and release with no character typed; on a button it presses the button.
void TapSpaceKey(WindowSystem& windows, WindowHandle control);

}  // namespace quorvanel
