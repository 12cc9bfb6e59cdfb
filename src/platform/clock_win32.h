#pragma once

#include <windows.h>

#include "platform/clock.h"

namespace quorvanel {

// The clock of Windows. Away time comes from GetLastInputInfo where Windows has it (2000 and
// later); on 9x, without a hook, from the cursor position and the keys, looked at by Watch once a
// tick: input that comes and goes between two looks (a key tapped and released) is still seen
// through GetAsyncKeyState's "pressed since the last call" bit.
class Win32Clock final : public Clock {
public:
    Win32Clock();

    std::int64_t NowMs() override;
    int SecondOfDay() override;
    std::int64_t IdleMs() override;
    // Looks for input, where Windows does not keep the time of the last one itself.
    void Watch();

private:
    using LastInputFunction = BOOL(WINAPI*)(PLASTINPUTINFO);

    LastInputFunction lastInputInfo_ = nullptr;
    // GetTickCount wraps after 49.7 days: the wraps seen so far extend it.
    DWORD lastTick_ = 0;
    std::int64_t wraps_ = 0;
    // The 9x watch: where the cursor was at the last look, and when input was last seen.
    POINT cursor_{};
    std::int64_t lastInputMs_ = 0;
};

}  // namespace quorvanel
