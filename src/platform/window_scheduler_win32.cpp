#include "platform/window_scheduler_win32.h"

#include <utility>

namespace quorvanel {

void WindowScheduler::SetWindow(HWND window) {
    if (window_ != nullptr) {
        for (const auto& timer : timers_) KillTimer(window_, timer.first);
    }
    // Moved out first: dropping the work may end requests whose ends schedule nothing, but the
    // maps must be whole while their destructors run.
    auto timers = std::move(timers_);
    auto wakers = std::move(wakers_);
    timers_.clear();
    wakers_.clear();
    window_ = window;
}

Scheduler::WorkId WindowScheduler::After(std::int64_t ms, std::function<void()> f) {
    if (window_ == nullptr) return 0;
    const UINT_PTR id = next_++;
    if (SetTimer(window_, id, static_cast<UINT>(ms < 1 ? 1 : ms), nullptr) == 0) return 0;
    timers_[id] = std::move(f);
    return id;
}

Scheduler::Wake WindowScheduler::Waker(std::function<void()> f) {
    if (window_ == nullptr) return {};
    const UINT_PTR id = next_++;
    wakers_[id] = std::move(f);
    // Only the window and the id cross to the other thread; the work stays here. A wake for work
    // cancelled meanwhile finds nothing to run.
    return {id, [window = window_, id] { PostMessageA(window, kRunMessage, id, 0); }};
}

void WindowScheduler::Cancel(WorkId id) {
    const auto key = static_cast<UINT_PTR>(id);
    if (const auto it = timers_.find(key); it != timers_.end()) {
        KillTimer(window_, key);
        auto f = std::move(it->second);
        timers_.erase(it);
        return;
    }
    if (const auto it = wakers_.find(key); it != wakers_.end()) {
        auto f = std::move(it->second);
        wakers_.erase(it);
    }
}

bool WindowScheduler::OnTimer(WPARAM id) {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    KillTimer(window_, id);
    auto f = std::move(it->second);
    timers_.erase(it);
    f();  // may schedule more, or dispatch messages
    return true;
}

bool WindowScheduler::OnRun(WPARAM id) {
    const auto it = wakers_.find(id);
    if (it == wakers_.end()) return false;
    auto f = std::move(it->second);
    wakers_.erase(it);
    f();
    return true;
}

}  // namespace quorvanel
