#pragma once

// Threads and a mutex for the bot server. On Linux they are the standard ones. The Windows
// toolchain uses mingw-w64's win32 thread model (the program beside it must run on old Windows,
// so there is no winpthread), which has neither: there they sit on a critical section and
// _beginthreadex, both in every Windows the server runs on (XP SP3 and later).

#include <mutex>  // std::lock_guard, std::unique_lock

#ifndef _WIN32
#include <thread>

namespace qvbot::sync {
using Mutex = std::mutex;
using Thread = std::thread;
}  // namespace qvbot::sync

#else
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <process.h>

#include <functional>
#include <memory>
#include <utility>

namespace qvbot::sync {

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

class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body) {
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        handle_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Run, owned.get(), 0, nullptr));
        if (handle_ != nullptr) owned.release();
    }
    Thread(Thread&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Thread& operator=(Thread&& other) noexcept {
        if (this != &other) {
            join();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~Thread() { join(); }

    bool joinable() const { return handle_ != nullptr; }
    void join() {
        if (handle_ == nullptr) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static unsigned __stdcall Run(void* parameter) {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
        (*body)();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

}  // namespace qvbot::sync
#endif
