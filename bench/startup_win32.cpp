// Start-up time of quorvanel.exe under Wine (or Windows): from CreateProcess to its main window
// on the screen, over several starts; the program is closed after each. Usage:
// startup_bench.exe [PROGRAM [STARTS [built-in]]] (default, or PROGRAM "": the quorvanel.exe
// beside this one; 10 starts; with "built-in", no settings file: the built-in bot).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_form_ids.h"

int main(int argc, char** argv) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string program = self;
    program = program.substr(0, program.rfind('\\') + 1) + "quorvanel.exe";
    if (argc > 1 && argv[1][0] != '\0') program = argv[1];
    const int starts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    // A bot server that refuses at once: nothing waits on the network.
    const bool builtIn = argc > 3 && std::string(argv[3]) == "built-in";
    if (!builtIn) WritePrivateProfileStringA("ConnectionSettings", "BotServer", "127.0.0.1:9", "quorvanel11.ini");

    std::vector<double> millis;
    for (int i = 0; i < starts; ++i) {
        STARTUPINFOA startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        std::string commandLine = "\"" + program + "\"";
        const auto start = std::chrono::steady_clock::now();
        if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process)) {
            std::printf("cannot start %s\n", program.c_str());
            return 1;
        }
        WaitForInputIdle(process.hProcess, 20000);
        HWND window = nullptr;
        for (int polls = 0; polls < 20000; ++polls) {  // this thread is the bench's only
            window = FindWindowA(quorvanel::kMainFormClassName, nullptr);
            if (window != nullptr && IsWindowVisible(window)) break;
            Sleep(1);
        }
        millis.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "quorvanel11.ini");  // flushes the cache
    DeleteFileA((std::string(windows) + "\\quorvanel11.ini").c_str());
    std::sort(millis.begin(), millis.end());
    std::printf("start-up to the main window shown: median %.0f ms, fastest %.0f ms, slowest %.0f ms"
                " (%d starts)\n",
                millis[millis.size() / 2], millis.front(), millis.back(), starts);
    return 0;
}
