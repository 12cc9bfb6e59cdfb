#include "e2e/quorvanel_session_win32.h"

#include <cstdlib>

#include "app/main_form_ids.h"

namespace quorvanel::testing {

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char e = text[++i];
        if (e == 'r') out.push_back('\r');
        else if (e == 'n') out.push_back('\n');
        else if (e == 't') out.push_back('\t');
        else if (e == 'x' && i + 2 < text.size() + 0) {
            out.push_back(static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16)));
            i += 2;
        } else out.push_back(e);
    }
    return out;
}

void ClearSettings() {
    char directory[MAX_PATH] = {};
    GetWindowsDirectoryA(directory, MAX_PATH);
    DeleteFileA((std::string(directory) + "\\quorvanel11.ini").c_str());
}

void WriteSetting(const char* section, const char* key, const std::string& value) {
    WritePrivateProfileStringA(section, key, value.c_str(), "quorvanel11.ini");
}

QuorvanelSession::~QuorvanelSession() {
    CloseProgram();
    if (messenger_.ProcessHandle() != nullptr) messenger_.Command("quit");
}

bool QuorvanelSession::StartMessenger() { return messenger_.Start("test-messenger.exe"); }

bool QuorvanelSession::StartProgram() {
    if (!program_.Start("quorvanel.exe")) return false;
    if (!WaitUntil([&] { return (main_ = FindWindowA(kMainFormClassName, kMainFormCaption)) != nullptr; },
                   std::chrono::seconds(60))) {
        return false;
    }
    return WaitUntil([&] { return Label().find("chat window(s) open") != std::string::npos; },
                     std::chrono::seconds(60));
}

void QuorvanelSession::TickEnableDefault() {
    SendMessageA(GetDlgItem(main_, kIdEnableDefault), BM_CLICK, 0, 0);
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

bool QuorvanelSession::CloseProgram() {
    if (program_.ProcessHandle() == nullptr) return false;
    if (main_ != nullptr && IsWindow(main_)) PostMessageA(main_, WM_CLOSE, 0, 0);
    const bool ended = WaitForSingleObject(program_.ProcessHandle(), 15000) == WAIT_OBJECT_0;
    program_.Finish(std::chrono::seconds(1));
    main_ = nullptr;
    return ended;
}

std::string QuorvanelSession::History(const std::string& id) {
    const std::string reply = messenger_.Command("dump " + id);
    return reply.rfind("ok ", 0) == 0 ? Unescape(reply.substr(3)) : std::string();
}

std::string QuorvanelSession::Entry(const std::string& id) {
    const std::string reply = messenger_.Command("entry " + id);
    return reply.rfind("ok ", 0) == 0 ? Unescape(reply.substr(3)) : std::string();
}

}  // namespace quorvanel::testing
