#pragma once

#include <windows.h>

#include <string>

namespace quorvanel::testing {

// What a process holds, read from outside it. Where Wine does not implement a counter
// (GetGuiResources, GetProcessHandleCount), the same quantity is read another way: GDI objects
// from the process's GDI handle table, USER objects as its windows, handles from the system
// handle list.
struct ProcessResources {
    long long gdiObjects = -1;
    long long userObjects = -1;
    long long handles = -1;
    long long privateBytes = -1;
    std::string sources;  // how each counter was read, for the report
};

ProcessResources SampleProcess(HANDLE process, DWORD processId);

}  // namespace quorvanel::testing
