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
// SQLite's Windows layer imports more: the wide file functions, and LockFileEx, UnlockFileEx and
// TryEnterCriticalSection, none of which 98 has working. It calls them only on NT (by its own
// test of the platform, GetVersionExA); on 9x it takes the ANSI functions and LockFile instead.
// Each of these forwarders calls the real function on NT and, on 9x, fails as 98's stub would.
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

#include <cstdint>
#include <string>
#include <type_traits>

// The functions of SQLite's answered here: name, stdcall argument bytes, and what 98's stub
// returns when it is not 0 (INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES).
#define QV_SQLITE_FORWARDS(X)                                                                     \
    X(CreateFileW, 28, -1) X(CreateFileMappingW, 24) X(CreateMutexW, 12) X(DeleteFileW, 4)         \
    X(FormatMessageW, 28) X(GetDiskFreeSpaceW, 20) X(GetFileAttributesExW, 12)                      \
    X(GetFileAttributesW, 4, -1) X(GetFullPathNameW, 16) X(GetTempPathW, 8) X(GetVersionExW, 4)   \
    X(OutputDebugStringW, 4) X(LockFileEx, 24) X(UnlockFileEx, 20) X(TryEnterCriticalSection, 4)

// SQLite takes these functions' addresses in a static table, which refers to the import
// library's jump stub (NAME, in one member of the library with __imp_NAME): the stubs are
// defined here too, jumping through the slots below, so that the member is never linked. Top-level
// assembly comes out before any function or variable of the file, so .text is where the
// compiler then sets the section for what follows.
#ifdef _WIN64
#define QV_JUMP_STUB(name, bytes, ...) ".globl " #name "\n" #name ": jmp *__imp_" #name "(%rip)\n"
#else
#define QV_JUMP_STUB(name, bytes, ...) \
    ".globl _" #name "@" #bytes "\n_" #name "@" #bytes ": jmp *__imp__" #name "@" #bytes "\n"
#endif
asm(".text\n" QV_SQLITE_FORWARDS(QV_JUMP_STUB));
#undef QV_JUMP_STUB

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

// The failure a 98 stub returns, as R: null, FALSE or 0, or a sentinel such as
// INVALID_HANDLE_VALUE.
template <typename R>
R Failure(std::intptr_t value) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(value);
    } else {
        return static_cast<R>(value);
    }
}

template <typename F>
struct Forward;
template <typename R, typename... A>
struct Forward<R(WINAPI*)(A...)> {
    template <const char* Name, std::intptr_t Failed = 0>
    static R WINAPI Call(A... arguments) {
        if (const auto real = RealWideFunction<R(WINAPI*)(A...)>(Name)) return real(arguments...);
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        if constexpr (!std::is_void_v<R>) return Failure<R>(Failed);
    }
};

constexpr char kCreateFileW[] = "CreateFileW";
constexpr char kCreateFileMappingW[] = "CreateFileMappingW";
constexpr char kCreateMutexW[] = "CreateMutexW";
constexpr char kDeleteFileW[] = "DeleteFileW";
constexpr char kFormatMessageW[] = "FormatMessageW";
constexpr char kGetDiskFreeSpaceW[] = "GetDiskFreeSpaceW";
constexpr char kGetFileAttributesExW[] = "GetFileAttributesExW";
constexpr char kGetFileAttributesW[] = "GetFileAttributesW";
constexpr char kGetFullPathNameW[] = "GetFullPathNameW";
constexpr char kGetTempPathW[] = "GetTempPathW";
constexpr char kGetVersionExW[] = "GetVersionExW";
constexpr char kOutputDebugStringW[] = "OutputDebugStringW";
constexpr char kLockFileEx[] = "LockFileEx";
constexpr char kUnlockFileEx[] = "UnlockFileEx";
constexpr char kTryEnterCriticalSection[] = "TryEnterCriticalSection";

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

// SQLite's.
#define QV_FORWARD(name, bytes, ...)                                       \
    extern void* const qv##name asm(QV_IMPORT_SLOT(name, bytes));           \
    void* const qv##name =                                                  \
        reinterpret_cast<void*>(&Forward<decltype(&::name)>::Call<k##name __VA_OPT__(, ) __VA_ARGS__>);
// The 64-bit va_list of FormatMessageW carries an ABI attribute that a template argument drops,
// harmlessly: the forwarder passes the pointer on unread.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
QV_SQLITE_FORWARDS(QV_FORWARD)
#pragma GCC diagnostic pop
#undef QV_FORWARD
}
