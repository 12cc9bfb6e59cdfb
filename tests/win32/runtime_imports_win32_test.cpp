// The wide functions the runtime imports, as this program answers them (the forwarders are a
// source of this test program, as of quorvanel.exe): on NT a name reaches the system whole.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/system_win32.h"

namespace quorvanel {
namespace {

TEST(RuntimeImports, ANameOutsideTheAnsiCodePageReachesNtWhole) {
    if (sys::IsWindows9x()) GTEST_SKIP() << "9x takes every name through the ANSI code page";
    // Cyrillic, which Western code pages lack, and Georgian, which no ANSI code page holds.
    const wchar_t* const name = L"Quorvanel \u0416\u10D0 test";
    const HANDLE created = CreateSemaphoreW(nullptr, 0, 1, name);  // the forwarder
    ASSERT_NE(created, nullptr) << GetLastError();
    const HANDLE opened = OpenSemaphoreW(SYNCHRONIZE, FALSE, name);  // kernel32's own
    EXPECT_NE(opened, nullptr) << GetLastError();
    if (opened != nullptr) CloseHandle(opened);
    CloseHandle(created);
}

}  // namespace
}  // namespace quorvanel
