#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "relay/window_system.h"

namespace quorvanel {

// The window system of the real desktop: user32's ANSI functions. Messages to other programs'
// windows are sent by a courier thread per receiving thread, which the caller waits for only up
// to the time limit: Wine lets a time-limited send to a hung thread wait until that thread wakes,
// and so would the UI thread.
class User32WindowSystem final : public WindowSystem {
public:
    User32WindowSystem() = default;
    ~User32WindowSystem() override;
    User32WindowSystem(const User32WindowSystem&) = delete;
    User32WindowSystem& operator=(const User32WindowSystem&) = delete;

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
    // meanwhile gives 0, as SendMessage does. `data`, when given, is what lParam points to; the
    // send owns it, since a courier given up on still holds it.
    std::intptr_t Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
                       const std::shared_ptr<std::vector<char>>& data = nullptr, bool wide = false);

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
    // The couriers, by the receiving thread, with when each was last given a message.
    struct Courier;
    struct Posted {
        std::shared_ptr<Courier> courier;
        unsigned long lastUsed = 0;
    };
    std::unordered_map<unsigned long, Posted> couriers_;
};

}  // namespace quorvanel
