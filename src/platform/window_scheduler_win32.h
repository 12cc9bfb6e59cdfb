#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>

#include "platform/scheduler.h"

namespace quorvanel {

// The scheduler on a window: timers of its own ids and a posted message, so the work runs in
// whatever loop dispatches the window's messages (the main loop, a modal window's, a message
// box's). Work still pending when the window goes is dropped.
class WindowScheduler final : public Scheduler {
public:
    static constexpr UINT kRunMessage = WM_APP + 40;

    void SetWindow(HWND window) { window_ = window; }
    void After(std::int64_t ms, std::function<void()> f) override;
    std::function<void()> Waker(std::function<void()> f) override;
    // The window's handlers: true when the message was the scheduler's.
    bool OnTimer(WPARAM id);
    bool OnRun(WPARAM id);

private:
    static constexpr UINT_PTR kFirstTimer = 0x5000;
    HWND window_ = nullptr;
    UINT_PTR next_ = kFirstTimer;
    std::map<UINT_PTR, std::function<void()>> timers_;
    std::map<UINT_PTR, std::function<void()>> wakers_;
};

}  // namespace quorvanel
