#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace quorvanel::testing {

// A program of ours started beside the test, in its own process: lines go to its standard
// input, and its standard output is read a line at a time.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Starts an executable that sits beside the test program.
    bool Start(const std::string& exeName, const std::string& arguments = {});
    // Sends a command and waits for its one reply line.
    std::string Command(const std::string& line,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));
    DWORD Id() const { return process_.dwProcessId; }
    HANDLE ProcessHandle() const { return process_.hProcess; }
    // Waits for the process to end; kills it when it does not within the timeout.
    void Finish(std::chrono::milliseconds timeout);

private:
    void WriteLine(const std::string& line);
    std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

    PROCESS_INFORMATION process_{};
    HANDLE stdinWrite_ = nullptr;
    HANDLE stdoutRead_ = nullptr;
    std::string pending_;  // read, not yet taken as a line
};

// Undoes the escapes of test-messenger's replies and of the bot server's log: \r \n \t, \xHH
// and \u00HH (one byte each); a backslash before any other character stands for that character.
std::string Unescape(const std::string& text);

// Directory of the running test program, with a trailing backslash.
std::string ProgramDirectory();

// Polls a condition on the test thread while pumping this thread's messages, up to a timeout.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

// Waits until a top-level window of the class and caption (null: any) is ready to be driven, and
// returns it, or null when none is within the timeout. Our windows are shown only once their
// controls are made and loaded: a window that merely exists may still be filling them, over what
// a test set there. `ready` may ask for more of a visible window, such as the focus inside it.
HWND WaitForWindow(const char* className, const char* caption, std::chrono::milliseconds timeout,
                   const std::function<bool(HWND)>& ready = nullptr);

}  // namespace quorvanel::testing
