#pragma once

#include <cstdint>

namespace quorvanel {

// Time as the answering rules see it.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds from some start, never going back, whatever the user does to the clock.
    virtual std::int64_t NowMs() = 0;
    // The local time of day in seconds after midnight, 0 to 86399; follows the user's clock.
    virtual int SecondOfDay() = 0;
    // Milliseconds since the user last used the keyboard or the mouse.
    virtual std::int64_t IdleMs() = 0;
};

}  // namespace quorvanel
