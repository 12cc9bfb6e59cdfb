// Sends one kind of query to the history of every messenger conversation window once a second,
// for a number of seconds, so that the messenger's processor time for that query can be read
// from outside (bench/history_queries_cpu.sh):
//   history_queries.exe none|find|length-a|length-w|head|full|classes SECONDS
// ("classes" reads the class name of every top-level window instead, once a second, as the
// conversation list is refreshed.)
// Prints this process's own processor time at the end.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM found) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "IMWindowClass") == 0)
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 0;
    if (mode != "none" && mode != "find" && mode != "length-a" && mode != "length-w" &&
        mode != "head" && mode != "full" && mode != "classes") {
        std::fprintf(stderr,
                     "usage: history_queries none|find|length-a|length-w|head|full|classes SECONDS\n");
        return 2;
    }
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    std::vector<char> buffer;
    for (int s = 0; s < seconds; ++s) {
        if (mode == "classes") {
            std::vector<HWND> again;
            EnumWindows(Collect, reinterpret_cast<LPARAM>(&again));
        }
        for (HWND window : windows) {
            if (mode == "classes") break;
            if (mode == "none") continue;
            const HWND history = FindWindowExA(window, nullptr, "RichEdit20A", nullptr);
            if (mode == "length-a") SendMessageA(history, WM_GETTEXTLENGTH, 0, 0);
            if (mode == "length-w") SendMessageW(history, WM_GETTEXTLENGTH, 0, 0);
            if (mode == "head" || mode == "full") {
                const LRESULT length =
                    mode == "head" ? 64 : SendMessageA(history, WM_GETTEXTLENGTH, 0, 0);
                buffer.assign(static_cast<std::size_t>(length) + 1, '\0');
                SendMessageA(history, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()));
            }
        }
        Sleep(1000);
    }
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](FILETIME t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 10000;
    };
    std::printf("%s: %zu windows, own processor time %llu ms\n", mode.c_str(), windows.size(),
                ms(kernel) + ms(user));
    return 0;
}
