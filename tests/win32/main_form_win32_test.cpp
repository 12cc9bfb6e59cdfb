// The main window and its conversation list controls, in this process, on the real user32 and
// comctl32.
#include "app/main_form_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/main_form_ids.h"
#include "relay/conversation_list_win32.h"
#include "win32/child_process_win32.h"

namespace quorvanel {
namespace {

using testing::WaitUntil;

std::string Text(HWND hwnd) {
    char buffer[256] = {};
    GetWindowTextA(hwnd, buffer, sizeof(buffer));
    return buffer;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 300, 300, nullptr,
                                 nullptr, nullptr, nullptr);
        list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 200, 100, parent,
                               nullptr, nullptr, nullptr);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, LVS_EX_CHECKBOXES);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = 150;
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        check = CreateWindowExW(0, L"BUTTON", L"x", WS_CHILD | BS_AUTOCHECKBOX, 0, 0, 10, 10, parent,
                                nullptr, nullptr, nullptr);
        label = CreateWindowExW(0, L"STATIC", L"Initialising...", WS_CHILD, 0, 0, 10, 10, parent,
                                nullptr, nullptr, nullptr);
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND parent = nullptr, list = nullptr, check = nullptr, label = nullptr;
};

TEST_F(ControlsTest, ListViewEntriesKeepTextHandleAndTick) {
    ConversationListControls view(list, check, label);
    EXPECT_EQ(view.EntryCount(), 0);
    EXPECT_EQ(view.AppendEntry(L"Ann", 0x10042), 0);
    EXPECT_EQ(view.AppendEntry(L"Bj\u00F6rn", -5), 1);  // handles are signed 32-bit values
    EXPECT_EQ(view.AppendEntry(L"Ann", 0x7FFFFFFE), 2);
    EXPECT_EQ(view.EntryCount(), 3);
    EXPECT_EQ(view.EntryText(1), L"Bj\u00F6rn");
    EXPECT_EQ(view.EntryData(1), -5);
    EXPECT_EQ(view.EntryData(2), 0x7FFFFFFE);
    EXPECT_FALSE(view.IsEntryTicked(0));
    view.TickEntry(2);
    EXPECT_TRUE(view.IsEntryTicked(2));
    EXPECT_FALSE(view.IsEntryTicked(1));

    view.RemoveEntry(0);
    EXPECT_EQ(view.EntryCount(), 2);
    EXPECT_EQ(view.EntryData(0), -5);
    EXPECT_TRUE(view.IsEntryTicked(1));  // ticks move with their entries

    EXPECT_FALSE(view.IsEnableDefaultTicked());
    SendMessageW(check, BM_CLICK, 0, 0);
    EXPECT_TRUE(view.IsEnableDefaultTicked());
    view.SetStatusText(L"2 chat window(s) open");
    EXPECT_EQ(Text(label), "2 chat window(s) open");
}

TEST(MainFormTest, StartsCentredWithItsControlsAndTicksEverySecond) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(MainForm::RegisterWindowClass(instance));
    MainForm form;
    ASSERT_TRUE(form.Create(instance, SW_SHOWNORMAL));
    HWND main = form.Handle();
    EXPECT_EQ(Text(main), "Quorvanel MSN Chat Bot");
    EXPECT_EQ(FindWindowA(kMainFormClassName, kMainFormCaption), main);
    const LONG style = GetWindowLongA(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);

    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    auto placed = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(main, id), &r);
        MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    const RECT list = placed(kIdConversations);
    EXPECT_EQ(list.left, MulDiv(120, dpiX, 1440));
    EXPECT_EQ(list.top, MulDiv(510, dpiY, 1440));
    EXPECT_EQ(list.right - list.left, MulDiv(3300, dpiX, 1440));
    EXPECT_EQ(list.bottom - list.top, MulDiv(1185, dpiY, 1440));
    const RECT check = placed(kIdEnableDefault);
    EXPECT_EQ(check.top, MulDiv(1830, dpiY, 1440));
    EXPECT_EQ(check.right - check.left, MulDiv(3420, dpiX, 1440));
    const RECT label = placed(kIdNumChatWindows);
    EXPECT_EQ(label.top, MulDiv(165, dpiY, 1440));
    EXPECT_EQ(Text(GetDlgItem(main, kIdEnableDefault)), "Enable on newly opened windows");
    EXPECT_EQ(SendDlgItemMessageA(main, kIdEnableDefault, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    const DWORD listStyle = static_cast<DWORD>(
        SendDlgItemMessageA(main, kIdConversations, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_TRUE(listStyle & LVS_EX_CHECKBOXES);

    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, MulDiv(3510, dpiX, 1440));
    EXPECT_EQ(client.bottom, MulDiv(2190, dpiY, 1440));
    RECT window{};
    GetWindowRect(main, &window);
    EXPECT_NEAR(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2, 1);
    EXPECT_NEAR(window.top, (GetSystemMetrics(SM_CYSCREEN) - (window.bottom - window.top)) / 2, 1);

    HWND status = GetDlgItem(main, kIdNumChatWindows);
    EXPECT_EQ(Text(status), "Initialising...");
    // The first tick comes about a second after creation; the label then counts windows.
    EXPECT_TRUE(WaitUntil([&] { return Text(status) != "Initialising..."; },
                          std::chrono::seconds(10)));
    EXPECT_EQ(Text(status), "0 chat window(s) open");

    // Closing the window ends the message loop.
    SendMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(main));
    MSG message;
    EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace quorvanel
