#include "present/simulated_typing.h"

#include <cmath>

#include "settings/settings.h"

namespace quorvanel {
namespace {

// Nearest whole number, halves to the even neighbour (the default rounding mode).
int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

SimulatedTyping::SimulatedTyping(SettingsStore& settings, RandomSource& random, Dialogs& dialogs)
    : settings_(settings), random_(random), dialogs_(dialogs) {}

SimulatedTyping::Speed SimulatedTyping::ReadSpeed() {
    const std::wstring speed = ReadSetting(settings_, kTypeSpeed);
    if (speed == L"instant") return Speed::Instant;
    if (speed == L"fast") return Speed::Fast;
    if (speed == L"medium") return Speed::Medium;
    if (speed == L"slow") return Speed::Slow;
    dialogs_.ShowMessage(L"Error: invalid typing speed selected", L"Quorvanel");
    return Speed::Invalid;
}

int SimulatedTyping::GetDelayTicks() {
    float scale = 0.0f;
    float base = 0.0f;
    switch (ReadSpeed()) {
        case Speed::Instant: return 1;
        case Speed::Invalid: return 0;
        case Speed::Fast: scale = 4.0f; base = 2.0f; break;
        case Speed::Medium: scale = 7.0f; base = 3.0f; break;
        case Speed::Slow: scale = 10.0f; base = 4.0f; break;
    }
    // Held in single precision before rounding.
    const float seconds = random_.NextSingle() * scale + base;
    return RoundHalfEven(seconds);
}

int SimulatedTyping::GetTypingTicks(const std::wstring& text) {
    return ComputeTypingTicks(text).ticks;
}

TypingTime SimulatedTyping::ComputeTypingTicks(const std::wstring& text) {
    double charsPerSecondBase = 0.0;
    switch (ReadSpeed()) {
        case Speed::Instant: return {1, true};
        case Speed::Invalid: return {0, false};
        case Speed::Fast: charsPerSecondBase = 3.0; break;
        case Speed::Medium: charsPerSecondBase = 2.0; break;
        case Speed::Slow: charsPerSecondBase = 1.0; break;
    }
    const double r = random_.NextSingle();
    return {RoundHalfEven(static_cast<double>(text.size()) / (r + charsPerSecondBase)), true};
}

}  // namespace quorvanel
