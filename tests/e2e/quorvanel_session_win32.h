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
    // Closes both programs and removes the settings file.
    ~QuorvanelSession();

    // Writes a settings file that names the bot server on the loopback port (none for port 0:
    // no settings file, the built-in bot), and starts test-messenger.
    bool StartMessenger(int botServerPort);
    // Starts the program at the typing speed (null: whatever the settings say), waits until its
    // window is ready and a tick has listed the windows open, and has new conversations answered
    // by default.
    bool StartProgram(const char* typeSpeed);
    HWND MainWindow() const { return main_; }
    std::string Label() const;
    int EntryCount() const;
    bool EntryTicked(int index) const;
    // The entry's note (why the robot does not answer there), read through the program's memory:
    // a list view's texts do not cross processes by themselves.
    std::string EntryNote(int index);
    // Closes the main window; true when the program then ends by itself.
    bool CloseProgram();

    std::string Messenger(const std::string& command) { return messenger_.Command(command); }
    // A conversation's history and entry box.
    std::string History(const std::string& id) { return Ask("dump " + id); }
    std::string Entry(const std::string& id) { return Ask("entry " + id); }

    ChildProcess& Program() { return program_; }
    ChildProcess& MessengerProcess() { return messenger_; }

private:
    std::string Ask(const std::string& command);  // what test-messenger answers after "ok "

    ChildProcess messenger_;
    ChildProcess program_;
    HWND main_ = nullptr;
};

// Writes one value into the settings file.
void WriteSetting(const char* section, const char* key, const std::string& value);

// How often the program has looked at a conversation's history in test-messenger: once a tick
// while it answers the conversation, twice in a tick that finds the history changed. -1: no such
// conversation.
int Looks(ChildProcess& messenger, const std::string& id);
// Waits until the program has looked `ticks` times more: in a conversation nobody writes to, that
// many of its ticks have passed.
bool WaitTicks(ChildProcess& messenger, const std::string& id, int ticks);

}  // namespace quorvanel::testing
