#pragma once

#include <windows.h>

#include <string>

#include "platform/modal_window_win32.h"

namespace quorvanel {

// Names by which the About window and its controls are found from outside.
inline constexpr char kAboutClassName[] = "QuorvanelAboutForm";
inline constexpr char kAboutCaption[] = "About Quorvanel...";

inline constexpr int kIdAboutOK = IDOK;          // cmdOK
inline constexpr int kIdAboutIcon = 201;         // picIcon
inline constexpr int kIdAboutDescription = 202;  // lblDescription
inline constexpr int kIdAboutDisclaimer = 203;   // lblDisclaimer
inline constexpr int kIdAboutTitle = 204;        // lblTitle
inline constexpr int kIdAboutVersion = 205;      // lblVersion
inline constexpr int kIdAboutDataFile = 206;       // where the program keeps what it remembers
inline constexpr int kIdAboutDataFileLabel = 207;  // its label

// frmAbout: the program's name, version, contact address and thanks, with an OK button that
// Enter and Esc both press.
class AboutWindow : public ModalWindow {
public:
    // dataFile: the file the program remembers contacts in, shown so that it can be found and
    // backed up; none is shown when empty.
    explicit AboutWindow(std::wstring dataFile = {}) : dataFile_(std::move(dataFile)) {}

protected:
    HWND Create(HWND owner) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void Form_Load();
    void cmdOK_Click();
    void PaintRule(HDC dc) const;

    std::wstring dataFile_;
    HWND cmdOK_ = nullptr;
    HICON icon_ = nullptr;
    bool ownsIcon_ = false;
};

}  // namespace quorvanel
