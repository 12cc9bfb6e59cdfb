#include "platform/clock_win32.h"

namespace quorvanel {

Win32Clock::Win32Clock() {
    // Not imported: 9x has no GetLastInputInfo, and the program must load there.
    if (const HMODULE user = GetModuleHandleA("user32.dll")) {
        lastInputInfo_ = reinterpret_cast<LastInputFunction>(
            reinterpret_cast<void*>(GetProcAddress(user, "GetLastInputInfo")));
    }
    lastTick_ = GetTickCount();
    GetCursorPos(&cursor_);
    lastInputMs_ = NowMs();
}

std::int64_t Win32Clock::NowMs() {
    const DWORD tick = GetTickCount();
    if (tick < lastTick_) ++wraps_;
    lastTick_ = tick;
    return (wraps_ << 32) + tick;
}

int Win32Clock::SecondOfDay() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return (now.wHour * 60 + now.wMinute) * 60 + now.wSecond;
}

std::int64_t Win32Clock::IdleMs() {
    if (lastInputInfo_ != nullptr) {
        LASTINPUTINFO info{};
        info.cbSize = sizeof(info);
        // Both in GetTickCount's units: the difference is right across a wrap.
        if (lastInputInfo_(&info)) return static_cast<DWORD>(GetTickCount() - info.dwTime);
    }
    Watch();
    return NowMs() - lastInputMs_;
}

void Win32Clock::Watch() {
    if (lastInputInfo_ != nullptr) return;
    bool input = false;
    POINT cursor{};
    if (GetCursorPos(&cursor) && (cursor.x != cursor_.x || cursor.y != cursor_.y)) {
        cursor_ = cursor;
        input = true;
    }
    // Every key is asked, so that each one's "pressed since" bit is cleared for the next look.
    for (int key = 1; key < 256; ++key) {
        if (GetAsyncKeyState(key) != 0) input = true;
    }
    if (input) lastInputMs_ = NowMs();
}

}  // namespace quorvanel
