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

    WindowScheduler() = default;
    WindowScheduler(const WindowScheduler&) = delete;
    WindowScheduler& operator=(const WindowScheduler&) = delete;
    ~WindowScheduler() override { SetWindow(nullptr); }

    // The window that runs the work. Setting another one (or none, as the window goes) drops
    // every piece of work still pending.
    void SetWindow(HWND window);
    WorkId After(std::int64_t ms, std::function<void()> f) override;
    Wake Waker(std::function<void()> f) override;
    void Cancel(WorkId id) override;
    // The window's handlers: true when the message was the scheduler's.
    bool OnTimer(WPARAM id);
    bool OnRun(WPARAM id);
    // Work not yet run: timers and wakers.
    std::size_t Pending() const { return timers_.size() + wakers_.size(); }

private:
    // Above the window's own timer ids; a window timer id is as wide as a pointer.
    static constexpr UINT_PTR kFirstId = 0x5000;
    HWND window_ = nullptr;
    UINT_PTR next_ = kFirstId;
    std::map<UINT_PTR, std::function<void()>> timers_;
    std::map<UINT_PTR, std::function<void()>> wakers_;
};

}  // namespace quorvanel
