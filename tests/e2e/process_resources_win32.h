#pragma once

#include <windows.h>

#include <array>

namespace quorvanel::testing {

// What a process holds, read from outside it in ways that work under Wine, which implements
// neither GetGuiResources nor GetProcessHandleCount: GDI objects from the process's GDI handle
// table, USER objects as its windows, handles from the system handle list, and private bytes;
// -1 where a figure cannot be read.
enum Resource { kGdiObjects, kUserObjects, kHandles, kPrivateBytes, kResourceKinds };
inline constexpr const char* kResourceNames[kResourceKinds] = {"GDI objects", "USER objects", "handles",
                                                               "private bytes"};
using ProcessResources = std::array<long long, kResourceKinds>;

ProcessResources SampleProcess(HANDLE process, DWORD processId);

}  // namespace quorvanel::testing
