#include "app/message_pump_win32.h"

#include <algorithm>

#include "app/modal_window_win32.h"

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
    if (main_ == nullptr || (message.hwnd != main_ && !IsChild(main_, message.hwnd))) return false;
    if (shortcuts_ != nullptr && TranslateAcceleratorA(main_, shortcuts_, &message) != 0)
        return true;
    return IsDialogMessageA(main_, &message) != 0;
}

}  // namespace quorvanel
