#pragma once

#include <cstdint>
#include <functional>

namespace quorvanel {

// Work for the UI thread, whatever loop runs there: later, or when another thread says so. So a
// bot request's completion reaches the program from a modal window's loop as well as from the
// main one, and no loop waits for it inside another.
class Scheduler {
public:
    // Names a piece of scheduled work; 0 names none.
    using WorkId = std::uint64_t;
    // A function any thread may call (once) to have the work run on the UI thread, and its id.
    struct Wake {
        WorkId id = 0;
        std::function<void()> call;
    };

    virtual ~Scheduler() = default;
    // Calls f on the UI thread after ms. 0 when no timer could be armed: f is dropped then, and
    // the caller must end what it waited for some other way.
    virtual WorkId After(std::int64_t ms, std::function<void()> f) = 0;
    // The work, once `call` is called from any thread.
    virtual Wake Waker(std::function<void()> f) = 0;
    // Drops work that has not run yet (a timer or a waker); nothing happens for work already run.
    virtual void Cancel(WorkId id) = 0;
};

}  // namespace quorvanel
