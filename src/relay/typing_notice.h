#pragma once

#include <string>

#include "relay/window_system.h"

namespace quorvanel {

inline constexpr wchar_t kTypingNotice[] = L"... robot is typing ...";

// Puts the typing notice into the conversation's entry box (replacing whatever it holds) and taps
// the space key on it. Nothing happens when the window has no entry box.
void ShowTypingNotice(WindowSystem& windows, WindowHandle conversation);
// Empties the entry box if it holds exactly the typing notice; anything else in it (the user's own
// text) is left alone.
void ClearTypingNotice(WindowSystem& windows, WindowHandle conversation);
// Puts the reply and the own-line marker into the entry box and presses Send with the space key.
// Nothing happens without an entry box; without a Send button the reply stays in the box.
void SendReply(WindowSystem& windows, WindowHandle conversation, const std::wstring& replyText);

}  // namespace quorvanel
