#pragma once

#include <windows.h>

#include "present/dialogs.h"

namespace quorvanel {

// Message boxes owned by the main window, and the system locale's lower-case mapping.
class Win32Dialogs final : public Dialogs {
public:
    explicit Win32Dialogs(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }

    void ShowMessage(std::wstring_view text, std::wstring_view caption) override;
    std::wstring ToLowerCase(std::wstring_view text) override;

private:
    HWND owner_;
};

}  // namespace quorvanel
