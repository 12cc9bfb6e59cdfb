#pragma once

#include <cstdint>

namespace quorvanel {

// The program's one source of random draws: single-precision values 0 <= r < 1.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual float NextSingle() = 0;
};

// A 24-bit linear congruential generator started from the same state in every run, so the
// sequence of draws repeats from run to run. Every value it gives is exact in single precision.
class FixedStateRandom final : public RandomSource {
public:
    float NextSingle() override {
        state_ = (state_ * 1140671485u + 12820163u) & 0xFFFFFFu;
        return static_cast<float>(state_) / 16777216.0f;
    }

private:
    std::uint32_t state_ = 0x50000u;
};

}  // namespace quorvanel
