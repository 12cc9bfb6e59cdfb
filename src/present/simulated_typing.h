#pragma once

#include <string>

#include "present/dialogs.h"
#include "present/random_source.h"
#include "settings/settings_store.h"

namespace quorvanel {

struct TypingTime {
    int ticks;
    bool validSpeed;  // false: the speed setting was none of the four speeds
};

// The pace of a reply, in poll ticks of one second, at the typing speed of the settings file.
class SimulatedTyping {
public:
    SimulatedTyping(SettingsStore& settings, RandomSource& random, Dialogs& dialogs);

    // Ticks from noticing a message to asking the bot; 0 (after telling the user) when the speed
    // setting is not one of the four speeds.
    int GetDelayTicks();
    // Ticks the typing notice stands before the reply is sent; 0 likewise.
    int GetTypingTicks(const std::wstring& text);
    // The same, telling an invalid speed apart from a time that rounds to 0.
    TypingTime ComputeTypingTicks(const std::wstring& text);

private:
    enum class Speed { Instant, Fast, Medium, Slow, Invalid };
    Speed ReadSpeed();

    SettingsStore& settings_;
    RandomSource& random_;
    Dialogs& dialogs_;
};

}  // namespace quorvanel
