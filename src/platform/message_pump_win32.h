#pragma once

#include <windows.h>

#include <vector>

namespace quorvanel {

class ModalWindow;

// The one pre-translation that every message loop of the program runs: the main loop and each
// modal window's loop. So a window's keys
// work whichever loop happens to have control: the innermost open modal window gets its dialog
// keys first, then the main window its shortcuts (F1) and dialog keys.
class MessagePump {
  public:
    void SetMainWindow(HWND window, HACCEL shortcuts);
    void EnterModal(ModalWindow& window);
    // Safe to call more than once, and for a window that is not the innermost.
    void LeaveModal(ModalWindow& window);
    // True when the message has been handled and must be neither translated nor dispatched.
    bool PreTranslate(MSG& message);

  private:
    HWND main_ = nullptr;
    HACCEL shortcuts_ = nullptr;
    std::vector<ModalWindow*> modals_;  // innermost last
};

}  // namespace quorvanel
