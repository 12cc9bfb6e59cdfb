// Three wide functions that the compiler's runtime calls, answered here so that the program
// imports none of them: Windows 98 and ME export them only as stubs that fail. On NT each goes to
// the real wide function, looked up by name in kernel32.dll, so that a name outside the ANSI code
// page still reaches the system whole; on 9x each goes through its ANSI form.
//
// - CreateSemaphoreW: libgcc's thread support (gthr-win32, the unwinder's frame registry and
//   emutls) makes every mutex of the win32 thread model from an unnamed semaphore.
// - GetModuleHandleW and LoadLibraryW: the C runtime's fallbacks look up "msvcrt.dll" by name to
//   find functions older msvcrt.dll versions lack (and go on without them when the lookup fails).
//
// These run before main, from the runtime's start-up, and inside its locks: they call only
// kernel32's ANSI functions and GetProcAddress, and keep nothing between calls (a function-local
// static's guard or a mutex would come back here for its semaphore).
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

// 9x by the platform bit of GetVersion, the test the rest of the program chooses its family by:
// Wine imitating 98 then takes the ANSI path here too, and on NT a wide call that fails for an
// ordinary reason (a DLL not found) is never tried again through the ANSI code page, as it would
// be if the stubs' ERROR_CALL_NOT_IMPLEMENTED were what told the families apart.
template <typename F>
F RealWideFunction(const char* name) {
    if (GetVersion() & 0x80000000u) return nullptr;
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

HANDLE WINAPI ForwardCreateSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                     LPCWSTR name) {
    if (const auto wide = RealWideFunction<decltype(&CreateSemaphoreW)>("CreateSemaphoreW")) {
        return wide(attributes, initial, maximum, name);
    }
    if (name == nullptr) return CreateSemaphoreA(attributes, initial, maximum, nullptr);
    return CreateSemaphoreA(attributes, initial, maximum, Narrow(name).c_str());
}

HMODULE WINAPI ForwardGetModuleHandle(LPCWSTR name) {
    if (const auto wide = RealWideFunction<decltype(&GetModuleHandleW)>("GetModuleHandleW")) {
        return wide(name);
    }
    if (name == nullptr) return GetModuleHandleA(nullptr);
    return GetModuleHandleA(Narrow(name).c_str());
}

HMODULE WINAPI ForwardLoadLibrary(LPCWSTR name) {
    if (const auto wide = RealWideFunction<decltype(&LoadLibraryW)>("LoadLibraryW")) {
        return wide(name);
    }
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
void* const qvCreateSemaphoreW = reinterpret_cast<void*>(&ForwardCreateSemaphore);
void* const qvGetModuleHandleW = reinterpret_cast<void*>(&ForwardGetModuleHandle);
void* const qvLoadLibraryW = reinterpret_cast<void*>(&ForwardLoadLibrary);
}
