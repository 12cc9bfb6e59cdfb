#pragma once

#include <unordered_map>

#include "relay/window_system.h"

namespace quorvanel {

// The window system of the real desktop: user32's ANSI functions, synchronous, on the UI thread.
class User32WindowSystem final : public WindowSystem {
public:
    void EnumerateWindows(const std::function<bool(WindowHandle)>& visit) override;
    std::wstring ReadClassName(WindowHandle window, int bufferChars) override;
    std::wstring ReadWindowTitle(WindowHandle window, int bufferChars) override;
    WindowHandle FindChild(WindowHandle parent, WindowHandle after,
                           const std::wstring& className) override;
    std::int64_t SendGetTextLength(WindowHandle window) override;
    std::int64_t SendGetTextLengthW(WindowHandle window) override;
    std::wstring SendGetText(WindowHandle window, std::size_t bufferChars) override;
    void SendSetText(WindowHandle window, const std::wstring& text) override;
    void SendKeyMessage(WindowHandle window, unsigned message, unsigned virtualKey) override;

private:
    struct ClassName {
        int bufferChars = 0;
        std::wstring name;
    };
    // The class names read during the last enumeration, and those read during the one going on.
    std::unordered_map<WindowHandle, ClassName> classNames_;
    std::unordered_map<WindowHandle, ClassName> listedClassNames_;
    bool enumerating_ = false;
};

}  // namespace quorvanel
