#include "relay/window_system_win32.h"

#include <windows.h>
#include <process.h>

#include <exception>
#include <functional>
#include <vector>

#include "platform/system_win32.h"
#include "platform/ansi_text_win32.h"

namespace quorvanel {
namespace {

// How long another program's window may take to answer a message, and how long its thread is
// left alone after it did not: about a tick, so it is tried again at the next one.
constexpr UINT kAnswerWithinMs = 400;
constexpr DWORD kSilentForMs = 900;
// A courier not given a message for this long is let go; a program's thread seldom changes.
constexpr DWORD kCourierIdleMs = 60000;

HWND ToHwnd(WindowHandle handle) { return static_cast<HWND>(LongToHandle(handle)); }
WindowHandle FromHwnd(HWND hwnd) { return static_cast<WindowHandle>(HandleToLong(hwnd)); }

struct Enumeration {
    const std::function<bool(WindowHandle)>& visit;
    std::exception_ptr failure;
};

BOOL CALLBACK VisitWindow(HWND hwnd, LPARAM context) {
    auto* enumeration = reinterpret_cast<Enumeration*>(context);
    // No exception may cross user32; it is carried out and rethrown after EnumWindows returns.
    try {
        return enumeration->visit(FromHwnd(hwnd)) ? TRUE : FALSE;
    } catch (...) {
        enumeration->failure = std::current_exception();
        return FALSE;
    }
}

}  // namespace

void User32WindowSystem::EnumerateWindows(const std::function<bool(WindowHandle)>& visit) {
    Enumeration enumeration{visit, nullptr};
    listedClassNames_.clear();
    enumerating_ = true;
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&enumeration));
    enumerating_ = false;
    classNames_.swap(listedClassNames_);
    listedClassNames_.clear();
    if (enumeration.failure) std::rethrow_exception(enumeration.failure);
}

// The class name of another process's window costs a round trip to the window manager (two under
// Wine), for every top-level window at every tick. A window keeps its class for life, and a handle
// comes back for a new window only after its slot was reused thousands of times (handles carry a
// reuse count); a name read during one enumeration is therefore given again during the next, and
// forgotten as soon as an enumeration no longer lists that window.
std::wstring User32WindowSystem::ReadClassName(WindowHandle window, int bufferChars) {
    if (bufferChars <= 0) return {};
    const auto known = classNames_.find(window);
    ClassName read;
    if (known != classNames_.end() && known->second.bufferChars == bufferChars) {
        read = known->second;
    } else {
        std::vector<char> buffer(static_cast<std::size_t>(bufferChars), '\0');
        // 0 on failure: the buffer stays empty.
        GetClassNameA(ToHwnd(window), buffer.data(), bufferChars);
        read = {bufferChars, FromAnsi(buffer.data(), buffer.size())};
    }
    if (enumerating_) listedClassNames_[window] = read;
    return read.name;
}

std::wstring User32WindowSystem::ReadWindowTitle(WindowHandle window, int bufferChars) {
    if (bufferChars <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(bufferChars), '\0');
    GetWindowTextA(ToHwnd(window), buffer.data(), bufferChars);
    return FromAnsi(buffer.data(), buffer.size());
}

WindowHandle User32WindowSystem::FindChild(WindowHandle parent, WindowHandle after,
                                           const std::wstring& className) {
    const std::string ansiClass = ToAnsi(className);
    return FromHwnd(FindWindowExA(ToHwnd(parent), ToHwnd(after), ansiClass.c_str(), nullptr));
}

// A thread that sends one message at a time for the UI thread. Its state is shared with the
// thread, which outlives the window system when another program holds it in a send.
struct User32WindowSystem::Courier {
    CRITICAL_SECTION lock;
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::function<bool(LRESULT&)> send;  // the message to send, while busy
    bool answered = false;
    LRESULT result = 0;
    bool busy = false;
    bool quit = false;

    Courier() { InitializeCriticalSection(&lock); }
    ~Courier() {
        DeleteCriticalSection(&lock);
        if (wake) CloseHandle(wake);
        if (done) CloseHandle(done);
    }
    Courier(const Courier&) = delete;
    Courier& operator=(const Courier&) = delete;

    static unsigned __stdcall Run(void* context) {
        // The thread's own share of the state, handed over by Start.
        std::unique_ptr<std::shared_ptr<Courier>> held(static_cast<std::shared_ptr<Courier>*>(context));
        Courier& courier = **held;
        for (;;) {
            WaitForSingleObject(courier.wake, INFINITE);
            EnterCriticalSection(&courier.lock);
            if (courier.quit) {
                LeaveCriticalSection(&courier.lock);
                return 0;
            }
            std::function<bool(LRESULT&)> send = std::move(courier.send);
            LeaveCriticalSection(&courier.lock);
            LRESULT result = 0;
            const bool answered = send(result);
            EnterCriticalSection(&courier.lock);
            courier.answered = answered;
            courier.result = result;
            courier.busy = false;
            // Set under the lock, so that Deliver's reset before the next message cannot come
            // between this message's end and its signal.
            SetEvent(courier.done);
            LeaveCriticalSection(&courier.lock);
        }
    }

    static std::shared_ptr<Courier> Start() {
        auto courier = std::make_shared<Courier>();
        if (!courier->wake || !courier->done) return nullptr;
        auto* share = new std::shared_ptr<Courier>(courier);
        const uintptr_t thread = _beginthreadex(nullptr, 0, Run, share, 0, nullptr);
        if (thread == 0) {
            delete share;
            return nullptr;
        }
        CloseHandle(reinterpret_cast<HANDLE>(thread));  // never joined: see Stop
        return courier;
    }

    // Runs `message` on the courier, waiting for it up to limitMs: what it gave, or false when it
    // did not end in time, or when the courier is still held by a message given up on earlier.
    bool Deliver(std::function<bool(LRESULT&)> message, DWORD limitMs, LRESULT& answer) {
        EnterCriticalSection(&lock);
        if (busy) {
            LeaveCriticalSection(&lock);
            return false;
        }
        busy = true;
        send = std::move(message);
        ResetEvent(done);
        LeaveCriticalSection(&lock);
        SetEvent(wake);
        if (WaitForSingleObject(done, limitMs) != WAIT_OBJECT_0) return false;
        EnterCriticalSection(&lock);
        answer = result;
        const bool ok = answered;
        LeaveCriticalSection(&lock);
        return ok;
    }

    // Lets the thread end once it is free; one held by a hung program ends when it comes back,
    // or with the process.
    void Stop() {
        EnterCriticalSection(&lock);
        quit = true;
        LeaveCriticalSection(&lock);
        SetEvent(wake);
    }
};

User32WindowSystem::~User32WindowSystem() {
    for (auto& [thread, posted] : couriers_) posted.courier->Stop();
}

std::intptr_t User32WindowSystem::Send(WindowHandle window, unsigned message, std::uintptr_t wParam,
                                       const std::shared_ptr<std::vector<char>>& data, bool wide) {
    const HWND hwnd = ToHwnd(window);
    const DWORD thread = GetWindowThreadProcessId(hwnd, nullptr);
    if (thread == 0) return 0;  // the window is gone
    const DWORD now = GetTickCount();
    if (const auto silent = silentUntil_.find(thread); silent != silentUntil_.end()) {
        if (static_cast<LONG>(silent->second - now) > 0) throw WindowNotAnswering();
        silentUntil_.erase(silent);
    }
    for (auto it = couriers_.begin(); it != couriers_.end();) {
        if (it->first != thread && now - it->second.lastUsed > kCourierIdleMs) {
            it->second.courier->Stop();
            it = couriers_.erase(it);
        } else {
            ++it;
        }
    }
    Posted& posted = couriers_[thread];
    if (!posted.courier) posted.courier = Courier::Start();
    posted.lastUsed = now;
    const auto send = [hwnd, message, wParam, data, wide](LRESULT& result) {
        const LPARAM lParam = data ? reinterpret_cast<LPARAM>(data->data()) : 0;
        return sys::SendWithin(hwnd, message, static_cast<WPARAM>(wParam), lParam, kAnswerWithinMs, result, wide);
    };
    // Without a courier (no thread to be had), the message is sent from here.
    LRESULT result = 0;
    const bool answered = posted.courier ? posted.courier->Deliver(send, kAnswerWithinMs, result) : send(result);
    if (answered) return result;
    if (!IsWindow(hwnd)) return 0;
    silentUntil_[thread] = now + kSilentForMs;
    throw WindowNotAnswering();
}

std::int64_t User32WindowSystem::SendGetTextLength(WindowHandle window) {
    return static_cast<std::int64_t>(Send(window, WM_GETTEXTLENGTH, 0));
}

std::int64_t User32WindowSystem::SendGetTextLengthW(WindowHandle window) {
    return static_cast<std::int64_t>(Send(window, WM_GETTEXTLENGTH, 0, nullptr, true));
}

std::wstring User32WindowSystem::SendGetText(WindowHandle window, std::size_t bufferChars) {
    if (bufferChars == 0) return {};
    const auto buffer = std::make_shared<std::vector<char>>(bufferChars, '\0');
    Send(window, WM_GETTEXT, bufferChars, buffer);
    return FromAnsi(buffer->data(), buffer->size());
}

void User32WindowSystem::SendSetText(WindowHandle window, const std::wstring& text) {
    const std::string ansi = ToAnsi(text);
    Send(window, WM_SETTEXT, 0, std::make_shared<std::vector<char>>(ansi.c_str(), ansi.c_str() + ansi.size() + 1));
}

void User32WindowSystem::SendKeyMessage(WindowHandle window, unsigned message, unsigned virtualKey) {
    Send(window, message, virtualKey);
}

}  // namespace quorvanel
