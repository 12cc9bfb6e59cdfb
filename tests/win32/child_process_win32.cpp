#include "win32/child_process_win32.h"

#include <cstdlib>
#include <vector>

namespace quorvanel::testing {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char e = text[++i];
        if (e == 'x' || e == 'u') {
            const std::size_t digits = e == 'x' ? 2 : 4;
            out.push_back(static_cast<char>(std::strtoul(text.substr(i + 1, digits).c_str(), nullptr, 16)));
            i += digits;
        } else {
            out.push_back(e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e);
        }
    }
    return out;
}

HWND WaitForWindow(const char* className, const char* caption, std::chrono::milliseconds timeout,
                   const std::function<bool(HWND)>& ready) {
    HWND window = nullptr;
    const auto found = [&] {
        // One of an earlier opening may still stand hidden, on its way out: look past it.
        while ((window = FindWindowExA(nullptr, window, className, caption)) != nullptr) {
            if (IsWindowVisible(window) && (!ready || ready(window))) return true;
        }
        return false;
    };
    return WaitUntil(found, timeout) ? window : nullptr;
}

std::string ProgramDirectory() {
    std::vector<char> path(MAX_PATH * 4, '\0');
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::string result(path.data(), length);
    return result.substr(0, result.find_last_of("\\/") + 1);
}

ChildProcess::~ChildProcess() {
    if (process_.hProcess != nullptr) Finish(std::chrono::seconds(5));
}

bool ChildProcess::Start(const std::string& exeName, const std::string& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE stdinRead = nullptr;
    HANDLE stdoutWrite = nullptr;
    if (!CreatePipe(&stdinRead, &stdinWrite_, &inherit, 0)) return false;
    if (!CreatePipe(&stdoutRead_, &stdoutWrite, &inherit, 0)) return false;
    SetHandleInformation(stdinWrite_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(stdoutRead_, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = stdinRead;
    startup.hStdOutput = stdoutWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    const std::string exe = ProgramDirectory() + exeName;
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    const BOOL started = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process_);
    CloseHandle(stdinRead);
    CloseHandle(stdoutWrite);
    if (!started) process_ = {};
    return started != FALSE;
}

void ChildProcess::WriteLine(const std::string& line) {
    const std::string data = line + "\n";
    DWORD written = 0;
    WriteFile(stdinWrite_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
}

std::optional<std::string> ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
        DWORD available = 0;
        if (!PeekNamedPipe(stdoutRead_, nullptr, 0, nullptr, &available, nullptr)) return {};  // ended
        if (available == 0) {
            if (std::chrono::steady_clock::now() > deadline) return {};
            Sleep(10);  // test thread only: the reply is on its way
            continue;
        }
        std::string chunk(available, '\0');
        if (!ReadFile(stdoutRead_, chunk.data(), available, &available, nullptr)) return {};
        pending_.append(chunk, 0, available);
    }
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

std::string ChildProcess::Command(const std::string& line, std::chrono::milliseconds timeout) {
    WriteLine(line);
    return ReadLine(timeout).value_or("<no reply>");
}

void ChildProcess::Finish(std::chrono::milliseconds timeout) {
    if (process_.hProcess == nullptr) return;
    if (stdinWrite_ != nullptr) {
        WriteLine("quit");
        CloseHandle(stdinWrite_);
        stdinWrite_ = nullptr;
    }
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(stdoutRead_);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    stdoutRead_ = nullptr;
    pending_.clear();
    process_ = {};
}

}  // namespace quorvanel::testing
