#include "platform/message_pump_win32.h"

#include <algorithm>
#include <string_view>

#include "platform/modal_window_win32.h"

namespace quorvanel {

void MessagePump::SetMainWindow(HWND window, HACCEL shortcuts) {
    main_ = window;
    shortcuts_ = shortcuts;
}

void MessagePump::EnterModal(ModalWindow& window) {
    modals_.push_back(&window);
}

void MessagePump::LeaveModal(ModalWindow& window) {
    modals_.erase(std::remove(modals_.begin(), modals_.end(), &window), modals_.end());
}

bool MessagePump::PreTranslate(MSG& message) {
    if (!modals_.empty() && modals_.back()->TranslateDialogMessage(message)) return true;
    // A system dialog box of this thread (a message box) opened below the loop that runs now, a
    // modal window's say: its keys go through the dialog manager, as in its own loop.
    if (message.hwnd != nullptr && message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
        const HWND root = GetAncestor(message.hwnd, GA_ROOT);
        char name[8] = {};
        if (root != nullptr && root != main_ && GetClassNameA(root, name, sizeof name) != 0 &&
            std::string_view(name) == "#32770" && GetWindowThreadProcessId(root, nullptr) == GetCurrentThreadId() &&
            IsDialogMessageA(root, &message)) {
            return true;
        }
    }
    if (main_ == nullptr || (message.hwnd != main_ && !IsChild(main_, message.hwnd))) return false;
    if (shortcuts_ != nullptr && TranslateAcceleratorA(main_, shortcuts_, &message) != 0)
        return true;
    return IsDialogMessageA(main_, &message) != 0;
}

}  // namespace quorvanel
