#include "e2e/quorvanel_session_win32.h"

#include <commctrl.h>

#include <cstdlib>

#include "app/main_form_ids.h"

namespace quorvanel::testing {
namespace {

// The settings file, and the file the program remembers contacts in with its journals: every
// test starts as a fresh install.
void ClearSettings() {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, MAX_PATH);
    DeleteFileA((std::string(directory) + "\\quorvanel11.ini").c_str());
    char appData[MAX_PATH] = {};
    GetEnvironmentVariableA("APPDATA", appData, MAX_PATH);
    for (const std::string& data :
         {std::string(directory) + "\\quorvanel.db", std::string(appData) + "\\Quorvanel\\quorvanel.db"}) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) DeleteFileA((data + suffix).c_str());
    }
}

}  // namespace

void WriteSetting(const char* section, const char* key, const std::string& value) {
    WritePrivateProfileStringA(section, key, value.c_str(), "quorvanel11.ini");
}

QuorvanelSession::~QuorvanelSession() {
    CloseProgram();
    if (messenger_.ProcessHandle() != nullptr) messenger_.Command("quit");
    ClearSettings();
}

bool QuorvanelSession::StartMessenger(int botServerPort) {
    ClearSettings();
    if (botServerPort != 0) {
        WriteSetting("ConnectionSettings", "BotServer", "127.0.0.1:" + std::to_string(botServerPort));
    }
    return messenger_.Start("test-messenger.exe");
}

bool QuorvanelSession::StartProgram(const char* typeSpeed) {
    if (typeSpeed != nullptr) WriteSetting("BotBehaviour", "TypeSpeed", typeSpeed);
    if (!program_.Start("quorvanel.exe")) return false;
    main_ = WaitForWindow(kMainFormClassName, kMainFormCaption, std::chrono::seconds(60));
    // A tick sets the label before it lists the windows, and answers us while it reads their
    // titles: a window listed after the click below would be answered by default.
    const auto listed = [&] {
        const std::string label = Label();
        return label.find(" chat window(s) open") != std::string::npos && std::atoi(label.c_str()) == EntryCount();
    };
    if (main_ == nullptr || !WaitUntil(listed, std::chrono::seconds(60))) return false;
    const HWND enable = GetDlgItem(main_, kIdEnableDefault);
    SendMessageA(enable, BM_CLICK, 0, 0);
    return SendMessageA(enable, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string QuorvanelSession::Label() const {
    char buffer[128] = {};
    SendMessageA(GetDlgItem(main_, kIdNumChatWindows), WM_GETTEXT, sizeof(buffer),
                 reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

int QuorvanelSession::EntryCount() const {
    return static_cast<int>(SendMessageA(GetDlgItem(main_, kIdConversations), 0x1004, 0, 0));
}

bool QuorvanelSession::EntryTicked(int index) const {
    return ListView_GetCheckState(GetDlgItem(main_, kIdConversations), index) != 0;
}

std::string QuorvanelSession::EntryNote(int index) {
    constexpr int kChars = 256;
    const HANDLE process = program_.ProcessHandle();
    char* remote = static_cast<char*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMA) + kChars, MEM_COMMIT, PAGE_READWRITE));
    if (remote == nullptr) return "(no memory)";
    LVITEMA item{};
    item.iSubItem = 1;
    item.pszText = remote + sizeof(LVITEMA);
    item.cchTextMax = kChars;
    char text[kChars] = {};
    if (WriteProcessMemory(process, remote, &item, sizeof(item), nullptr)) {
        SendMessageA(GetDlgItem(main_, kIdConversations), LVM_GETITEMTEXTA, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(remote));
        ReadProcessMemory(process, remote + sizeof(LVITEMA), text, kChars - 1, nullptr);
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

bool QuorvanelSession::CloseProgram() {
    if (program_.ProcessHandle() == nullptr) return false;
    if (main_ != nullptr && IsWindow(main_)) PostMessageA(main_, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(program_.ProcessHandle(), 30000) == WAIT_OBJECT_0;
    program_.Finish(std::chrono::seconds(1));
    main_ = nullptr;
    return ended;
}

int Looks(ChildProcess& messenger, const std::string& id) {
    const std::string reply = messenger.Command("looks " + id);
    return reply.rfind("ok ", 0) == 0 ? std::atoi(reply.c_str() + 3) : -1;
}

bool WaitTicks(ChildProcess& messenger, const std::string& id, int ticks) {
    const int start = Looks(messenger, id);
    return start >= 0 && WaitUntil([&] { return Looks(messenger, id) >= start + ticks; },
                                   std::chrono::seconds(10 * ticks + 20));
}

std::string QuorvanelSession::Ask(const std::string& command) {
    const std::string reply = messenger_.Command(command);
    return reply.rfind("ok ", 0) == 0 ? Unescape(reply.substr(3)) : std::string();
}

}  // namespace quorvanel::testing
