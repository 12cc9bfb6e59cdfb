#pragma once

// Threads, a mutex and a condition for the test programs, on Win32 calls directly: the
// toolchain's win32 thread model has no std::thread, std::mutex or std::condition_variable.

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>  // std::lock_guard, std::unique_lock

namespace quorvanel::testing {

class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body) {
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        handle_ = CreateThread(nullptr, 0, &Run, owned.get(), 0, nullptr);
        if (handle_ != nullptr) owned.release();
    }
    Thread(Thread&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
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

// A condition with one waiter: the signal is kept until the waiter takes it, so none is lost.
class Condition {
public:
    Condition() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Condition() { CloseHandle(event_); }
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;
    void notify_all() { SetEvent(event_); }
    // Waits until the predicate holds or the timeout passes; returns the predicate.
    template <typename Predicate>
    bool wait_for(std::unique_lock<Mutex>& lock, std::chrono::milliseconds timeout,
                  Predicate predicate) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!predicate()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            lock.unlock();
            WaitForSingleObject(event_, static_cast<DWORD>(left.count()));
            lock.lock();
        }
        return true;
    }

private:
    HANDLE event_;
};

}  // namespace quorvanel::testing
