#pragma once

// Threads and a mutex for the test programs, on Win32 calls directly: the toolchain's win32
// thread model has no std::thread or std::mutex.

#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>  // std::lock_guard

namespace quorvanel::testing {

class Thread {
public:
    explicit Thread(std::function<void()> body) {
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        handle_ = CreateThread(nullptr, 0, &Run, owned.get(), 0, nullptr);
        if (handle_ != nullptr) owned.release();
    }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread() { join(); }

    void join() {
        if (handle_ == nullptr) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static DWORD WINAPI Run(void* parameter) {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
        (*body)();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

class Mutex {
public:
    Mutex() { InitializeCriticalSection(&section_); }
    ~Mutex() { DeleteCriticalSection(&section_); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { EnterCriticalSection(&section_); }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

}  // namespace quorvanel::testing
