#pragma once

#include <windows.h>

#include <memory>

#include "relay/conversation_list_win32.h"
#include "relay/conversations.h"
#include "relay/relay_engine.h"
#include "relay/window_system_win32.h"

namespace quorvanel {

// The program's main window. It owns all run-time state: the conversation table and the engine
// that keeps it, and the controls the engine shows it in.
class MainForm {
public:
    MainForm() = default;
    MainForm(const MainForm&) = delete;
    MainForm& operator=(const MainForm&) = delete;
    ~MainForm();

    static bool RegisterWindowClass(HINSTANCE instance);
    // Creates the window and its controls, runs the load step and shows the window.
    bool Create(HINSTANCE instance, int showCommand);
    HWND Handle() const { return hwnd_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void Form_Load();
    void Timer1_Timer();
    int Twips(int twips, bool horizontal) const;

    HWND hwnd_ = nullptr;
    HWND lstConversations_ = nullptr;
    HWND chkEnableDefault_ = nullptr;
    HWND txtNumChatWindows_ = nullptr;
    int dpiX_ = 96;
    int dpiY_ = 96;

    ConversationTable Conversations_ = NewConversationTable();
    User32WindowSystem windows_;
    std::unique_ptr<ConversationListControls> list_;
    std::unique_ptr<RelayEngine> relay_;
};

}  // namespace quorvanel
