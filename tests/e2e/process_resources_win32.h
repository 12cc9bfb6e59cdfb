#pragma once

#include <windows.h>

namespace quorvanel::testing {

// What a process holds, read from outside it in ways that work under Wine, which implements
// neither GetGuiResources nor GetProcessHandleCount: GDI objects from the process's GDI handle
// table, USER objects as its windows, handles from the system handle list, and private bytes.
struct ProcessResources {
    long long gdiObjects = -1;
    long long userObjects = -1;
    long long handles = -1;
    long long privateBytes = -1;
};

ProcessResources SampleProcess(HANDLE process, DWORD processId);

}  // namespace quorvanel::testing
