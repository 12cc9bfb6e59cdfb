// Three wide functions that the compiler's runtime calls, answered through their ANSI forms, so
// that the program imports none of them: Windows 98 and ME export them only as stubs that fail.
//
// - CreateSemaphoreW: libgcc's thread support (gthr-win32, the unwinder's frame registry and
//   emutls) makes every mutex of the win32 thread model from an unnamed semaphore. With no name
//   the two forms do the same, on every Windows.
// - GetModuleHandleW and LoadLibraryW: the C runtime's fallbacks look up "msvcrt.dll" by name to
//   find functions older msvcrt.dll versions lack (and go on without them when the lookup fails).
//   Module names are ASCII, which the ANSI code page holds on every system.
//
// The linker takes a function's import slot (__imp_NAME) from the first object that defines it:
// this file is linked into the executable itself, ahead of the import libraries, so these
// definitions win and kernel32.dll's never enter the import table. The file must therefore be a
// source of the executable, not of a static library, which the linker would consult too late.
#include <windows.h>

#include <string>

namespace {

std::string Narrow(LPCWSTR text) {
    std::string narrow;
    if (text == nullptr) return narrow;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return narrow;
    narrow.resize(static_cast<std::size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), size, nullptr, nullptr);
    narrow.pop_back();  // the NUL the conversion wrote
    return narrow;
}

HANDLE WINAPI CreateSemaphoreByAnsi(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                    LPCWSTR name) {
    if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
    return CreateSemaphoreA(attributes, initial, maximum, Narrow(name).c_str());
}

HMODULE WINAPI GetModuleHandleByAnsi(LPCWSTR name) {
    if (name == nullptr) return GetModuleHandleA(nullptr);
    return GetModuleHandleA(Narrow(name).c_str());
}

HMODULE WINAPI LoadLibraryByAnsi(LPCWSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryA(Narrow(name).c_str());
}

}  // namespace

// The import slots, named as the compiler's runtime refers to them (32-bit names carry the
// stdcall decoration and an extra underscore).
#ifdef _WIN64
#define QV_IMPORT_SLOT(name, bytes) "__imp_" #name
#else
#define QV_IMPORT_SLOT(name, bytes) "__imp__" #name "@" #bytes
#endif
extern "C" {
extern void* const qvCreateSemaphoreW asm(QV_IMPORT_SLOT(CreateSemaphoreW, 16));
extern void* const qvGetModuleHandleW asm(QV_IMPORT_SLOT(GetModuleHandleW, 4));
extern void* const qvLoadLibraryW asm(QV_IMPORT_SLOT(LoadLibraryW, 4));
void* const qvCreateSemaphoreW = reinterpret_cast<void*>(&CreateSemaphoreByAnsi);
void* const qvGetModuleHandleW = reinterpret_cast<void*>(&GetModuleHandleByAnsi);
void* const qvLoadLibraryW = reinterpret_cast<void*>(&LoadLibraryByAnsi);
}
