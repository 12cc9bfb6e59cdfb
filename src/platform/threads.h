#pragma once

// A thread, a lock and a wake-up signal. On Linux they sit on the standard ones. The Windows
// toolchain uses mingw-w64's win32 thread model (the program must run on 9x, so there is no
// winpthread), which has neither std::thread nor std::mutex: there they sit on a critical
// section, an auto-reset event and _beginthreadex, all in every Windows the program runs on.

#include <functional>
#include <memory>
#include <mutex>  // std::lock_guard, for the users of Mutex
#include <utility>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#include <thread>
#else
#include <process.h>
#include <windows.h>
#endif

namespace quorvanel {

#ifndef _WIN32

class Mutex {
  public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

  private:
    std::mutex mutex_;
};

// Set() wakes one Wait(), now or the next one: a set signal stays set until a wait takes it.
class Signal {
  public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        changed_.notify_one();
    }
    void Wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return set_; });
        set_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool set_ = false;
};

class Thread {
  public:
    explicit Thread(std::function<void()> body) : thread_(std::move(body)) {}
    bool Running() const { return thread_.joinable(); }
    ~Thread() { Join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    void Join() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::thread thread_;
};

#else

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

class Signal {
  public:
    Signal() : event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Signal() {
        if (event_ != nullptr) CloseHandle(event_);
    }
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    void Set() { SetEvent(event_); }
    void Wait() { WaitForSingleObject(event_, INFINITE); }

  private:
    HANDLE event_;
};

class Thread {
  public:
    explicit Thread(std::function<void()> body) {
        auto owned = std::make_unique<std::function<void()> >(std::move(body));
        handle_ =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Run, owned.get(), 0, nullptr));
        if (handle_ != nullptr) owned.release();
    }
    // False when no thread could be made: the body never runs.
    bool Running() const { return handle_ != nullptr; }
    ~Thread() { Join(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    void Join() {
        if (handle_ == nullptr) return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    static unsigned __stdcall Run(void* parameter) {
        std::unique_ptr<std::function<void()> > body(
            static_cast<std::function<void()>*>(parameter));
        (*body)();
        return 0;
    }
    HANDLE handle_ = nullptr;
};

#endif

}  // namespace quorvanel
