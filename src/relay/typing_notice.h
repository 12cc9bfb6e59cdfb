#pragma once

#include <string>

#include "relay/window_system.h"

namespace quorvanel {

inline constexpr wchar_t kTypingNotice[] = L"... robot is typing ...";

// The robot writes into an entry box only while it holds nothing of the user's: it is empty, or
// holds the notice, or one of the robot's own replies (they all end in the own-line marker).
// Anything else is the user's writing, which is never overwritten.
bool HoldsNothingOfTheUsers(const std::wstring& boxText);

// Puts the typing notice into the conversation's entry box and taps the space key on it. False,
// and the box left alone, when it holds the user's writing; nothing happens without an entry box.
bool ShowTypingNotice(WindowSystem& windows, WindowHandle conversation);
// Empties the entry box if it holds exactly the typing notice; anything else in it (the user's own
// text) is left alone.
void ClearTypingNotice(WindowSystem& windows, WindowHandle conversation);
enum class SendResult { Sent, UserWriting, NoEntryBox, NoSendButton };
// Puts the reply and the own-line marker into the entry box and presses Send with the space key.
// Nothing is sent when the box holds the user's writing, and nothing happens without an entry
// box; without a Send button the reply stays in the box.
SendResult SendReply(WindowSystem& windows, WindowHandle conversation,
                     const std::wstring& replyText);

}  // namespace quorvanel
