#pragma once

#include <cstdint>
#include <functional>

namespace quorvanel {

// Work for the UI thread, whatever loop runs there: later, or when another thread says so. So a
// bot request's completion reaches the program from a modal window's loop as well as from the
// main one, and no loop waits for it inside another.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Calls f on the UI thread after ms.
    virtual void After(std::int64_t ms, std::function<void()> f) = 0;
    // A function any thread may call (once) to have f called on the UI thread.
    virtual std::function<void()> Waker(std::function<void()> f) = 0;
};

}  // namespace quorvanel
