#pragma once

#include <string>
#include <string_view>

namespace quorvanel {

// What the reply presentation asks of the desktop: the modal message box and the system
// locale's lower-case mapping.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A modal message box with an OK button only and no icon; returns when it is closed.
    virtual void ShowMessage(std::wstring_view text, std::wstring_view caption) = 0;
    virtual std::wstring ToLowerCase(std::wstring_view text) = 0;
};

}  // namespace quorvanel
