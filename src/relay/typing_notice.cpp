#include "relay/typing_notice.h"

#include "relay/conversations.h"
#include "relay/messenger_window.h"

namespace quorvanel {

bool HoldsNothingOfTheUsers(const std::wstring& boxText) {
    return boxText.empty() || boxText == kTypingNotice || boxText.back() == kOwnLineMarker;
}

bool ShowTypingNotice(WindowSystem& windows, WindowHandle conversation) {
    // A handle of 0 would make the child searches look among the top-level windows instead.
    if (conversation == 0) return true;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return true;
    if (!HoldsNothingOfTheUsers(CutAtNul(GetControlText(windows, box)))) return false;
    SetControlText(windows, box, kTypingNotice);
    TapSpaceKey(windows, box);
    return true;
}

void ClearTypingNotice(WindowSystem& windows, WindowHandle conversation) {
    if (conversation == 0) return;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return;
    if (CutAtNul(GetControlText(windows, box)) == kTypingNotice) SetControlText(windows, box, L"");
}

SendResult SendReply(WindowSystem& windows, WindowHandle conversation,
                     const std::wstring& replyText) {
    if (conversation == 0) return SendResult::NoEntryBox;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return SendResult::NoEntryBox;
    // Looked at again: the user may have begun to type since the notice went in.
    if (!HoldsNothingOfTheUsers(CutAtNul(GetControlText(windows, box)))) {
        return SendResult::UserWriting;
    }
    SetControlText(windows, box, replyText + kOwnLineMarker);
    const WindowHandle send = FindSendButton(windows, conversation);
    if (send == 0) return SendResult::NoSendButton;
    TapSpaceKey(windows, send);
    return SendResult::Sent;
}

}  // namespace quorvanel
