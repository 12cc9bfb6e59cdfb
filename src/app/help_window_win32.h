#pragma once

#include <windows.h>

#include "platform/modal_window_win32.h"

namespace quorvanel {

// Names by which the Help window and its controls are found from outside.
inline constexpr char kHelpClassName[] = "QuorvanelHelpForm";
inline constexpr char kHelpCaption[] = "Help";

inline constexpr int kIdHelpText = 301;  // Text1
inline constexpr int kIdHelpOK = 302;    // btnOK

// frmHelp: the help text in a read-only box that can be scrolled and selected, and an OK button.
// OK is neither the default nor the cancel button: Esc and Enter leave the window open.
class HelpWindow : public ModalWindow {
protected:
    HWND Create(HWND owner) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslate(MSG& message) override;

private:
    void CreateControls();
    void Form_Load();
    void btnOK_Click();

    HWND Text1_ = nullptr;
    HWND btnOK_ = nullptr;
};

}  // namespace quorvanel
