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
    // Sends with a time limit; throws WindowNotAnswering when no answer comes. A window gone
    // meanwhile gives 0, as SendMessage does.
    std::intptr_t Send(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam,
                 bool wide = false);

    struct ClassName {
        int bufferChars = 0;
        std::wstring name;
    };
    // The class names read during the last enumeration, and those read during the one going on.
    std::unordered_map<WindowHandle, ClassName> classNames_;
    std::unordered_map<WindowHandle, ClassName> listedClassNames_;
    bool enumerating_ = false;
    // Threads whose windows did not answer, and until when they are not asked again: a hung
    // program costs one time-out a tick, not one per message.
    std::unordered_map<unsigned long, unsigned long> silentUntil_;
};

}  // namespace quorvanel
