#pragma once

// Threads, a mutex and a condition variable for the bot server. On Linux they are the standard
// ones. The Windows toolchain uses mingw-w64's win32 thread model (the program beside it must run
// on Windows 2000, so there is no winpthread), which has none of them; there they sit on Win32's
// slim reader/writer lock, condition variable and _beginthreadex (Vista and later, like this
// server).

#include <chrono>
#include <mutex>  // std::lock_guard, std::unique_lock

#ifndef _WIN32
#include <condition_variable>
#include <thread>

namespace qvbot::sync {
using Mutex = std::mutex;
using ConditionVariable = std::condition_variable;
using Thread = std::thread;
inline void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
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
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK* native() { return &lock_; }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class ConditionVariable {
public:
    ConditionVariable() = default;
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;
    void notify_one() { WakeConditionVariable(&condition_); }
    void notify_all() { WakeAllConditionVariable(&condition_); }

    template <typename Predicate>
    void wait(std::unique_lock<Mutex>& lock, Predicate done) {
        while (!done()) SleepConditionVariableSRW(&condition_, lock.mutex()->native(), INFINITE, 0);
    }
    // Returns the predicate's value when the wait ends.
    template <typename Rep, typename Period, typename Predicate>
    bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::duration<Rep, Period> timeout,
                  Predicate done) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return done();
            // Capped below INFINITE, so a very long timeout is waited in several steps.
            const auto step = left.count() > 0x7FFFFFFF ? 0x7FFFFFFF : left.count();
            SleepConditionVariableSRW(&condition_, lock.mutex()->native(),
                                      static_cast<DWORD>(step), 0);
        }
        return true;
    }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
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
        std::swap(handle_, other.handle_);
        return *this;
    }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread() { join(); }

    bool joinable() const { return handle_ != nullptr; }
    void join() {
        if (handle_ == nullptr) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }
    void detach() {
        if (handle_ != nullptr) CloseHandle(std::exchange(handle_, nullptr));
    }

private:
    static unsigned __stdcall Run(void* parameter) {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(parameter));
        (*body)();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

inline void SleepMs(int ms) { Sleep(static_cast<DWORD>(ms)); }

}  // namespace qvbot::sync
#endif
