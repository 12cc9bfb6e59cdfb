#include "platform/window_scheduler_win32.h"

namespace quorvanel {

void WindowScheduler::After(std::int64_t ms, std::function<void()> f) {
    if (window_ == nullptr) return;
    const UINT_PTR id = next_++;
    if (SetTimer(window_, id, static_cast<UINT>(ms < 1 ? 1 : ms), nullptr) == 0) return;
    timers_[id] = std::move(f);
}

std::function<void()> WindowScheduler::Waker(std::function<void()> f) {
    const UINT_PTR id = next_++;
    wakers_[id] = std::move(f);
    // Only the window and the id cross to the other thread; the work stays here.
    return [window = window_, id] { PostMessageA(window, kRunMessage, id, 0); };
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
