#include "relay/typing_notice.h"

#include "relay/conversations.h"
#include "relay/messenger_window.h"

namespace quorvanel {

void ShowTypingNotice(WindowSystem& windows, WindowHandle conversation) {
    // A handle of 0 would make the child searches look among the top-level windows instead.
    if (conversation == 0) return;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return;
    SetControlText(windows, box, kTypingNotice);
    TapSpaceKey(windows, box);
}

void ClearTypingNotice(WindowSystem& windows, WindowHandle conversation) {
    if (conversation == 0) return;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return;
    if (CutAtNul(GetControlText(windows, box)) == kTypingNotice) SetControlText(windows, box, L"");
}

void SendReply(WindowSystem& windows, WindowHandle conversation, const std::wstring& replyText) {
    if (conversation == 0) return;
    const WindowHandle box = FindInputBox(windows, conversation);
    if (box == 0) return;
    SetControlText(windows, box, replyText + kOwnLineMarker);
    const WindowHandle send = FindSendButton(windows, conversation);
    if (send == 0) return;
    TapSpaceKey(windows, send);
}

}  // namespace quorvanel
