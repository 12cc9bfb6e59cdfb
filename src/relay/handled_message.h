#pragma once

#include <string>

namespace quorvanel {

// What became of a message the robot took up. The numbers are kept in the user's record file:
// new outcomes go at the end.
enum class ReplyOutcome {
    Sent = 0,          // the bot's answer
    CannedLine = 1,    // one of the program's own lines went instead
    ErrorLine = 2,     // the bot server could not be reached, and the contact was told so
    EmptyAnswer = 3,   // nothing to send
    UserWriting = 4,   // dropped: the user was writing in the conversation
    NoEntryBox = 5,    // nothing sent: the window has no entry box
    NoSendButton = 6,  // left in the entry box: the window has no Send button
    InvalidSpeed = 7,  // dropped: the typing speed in the settings is not understood
};

struct HandledMessage {
    std::wstring contact;
    std::wstring heard;  // what the contact said
    std::wstring reply;  // what was sent, or would have been
    ReplyOutcome outcome = ReplyOutcome::Sent;
};

}  // namespace quorvanel
