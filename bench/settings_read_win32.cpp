// Time of one settings read under Wine (or Windows): the profile function reads the file anew
// each time, as the program does at every use of a setting. Prints the mean over many reads.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "settings/settings.h"
#include "settings/settings_store_win32.h"

int main() {
    quorvanel::ProfileSettingsStore store;
    // A file like the one the Options dialog writes.
    quorvanel::WriteSetting(store, quorvanel::kTypeSpeed, L"fast");
    quorvanel::WriteSetting(store, quorvanel::kTypeStyle, L"messy");
    quorvanel::WriteSetting(store, quorvanel::kBotServer, L"127.0.0.1:8080");
    quorvanel::WriteSetting(store, quorvanel::kBotID, L"5e0a7c31d94b2f68");
    quorvanel::WriteSetting(store, quorvanel::kBotName, L"Kestro");
    constexpr int kReads = 5000;
    std::size_t total = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kReads; ++i) total += quorvanel::ReadSetting(store, quorvanel::kBotName).size();
    const double micros = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    DeleteFileW(quorvanel::SettingsFilePath().c_str());
    std::printf("one settings read: %.1f microseconds (mean of %d reads; %zu characters read)\n",
                micros / kReads, kReads, total);
    return 0;
}
