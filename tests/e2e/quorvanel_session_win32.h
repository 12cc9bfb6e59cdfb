#pragma once

#include <windows.h>

#include <chrono>
#include <string>

#include "win32/child_process_win32.h"

namespace quorvanel::testing {

// quorvanel.exe and test-messenger.exe side by side, seen from outside as a user would: the
// main window's controls and the conversations' histories.
class QuorvanelSession {
public:
    ~QuorvanelSession();

    bool StartMessenger();
    // Starts the program and waits for its window and its first tick.
    bool StartProgram();
    void TickEnableDefault();
    HWND MainWindow() const { return main_; }
    std::string Label() const;
    int EntryCount() const;
    // Closes the main window; true when the program then ends by itself.
    bool CloseProgram();

    std::string Messenger(const std::string& command) { return messenger_.Command(command); }
    std::string History(const std::string& id);
    std::string Entry(const std::string& id);

    ChildProcess& Program() { return program_; }

private:
    ChildProcess messenger_;
    ChildProcess program_;
    HWND main_ = nullptr;
};

// Undoes test-messenger's escapes (\r \n \t \\ \xHH).
std::string Unescape(const std::string& text);

// Removes the settings file; writes one value into it.
void ClearSettings();
void WriteSetting(const char* section, const char* key, const std::string& value);

}  // namespace quorvanel::testing
