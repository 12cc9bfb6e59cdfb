#include <windows.h>

#include <commctrl.h>

#include "app/main_form_win32.h"
#include "platform/system_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // The conversation list cannot be shown without the list view (comctl32 4.70, Internet
    // Explorer 3, and later). The standard classes are comctl32 6's alone: older ones refuse them,
    // and the system's own serve then.
    if (!quorvanel::sys::LoadCommonControls(ICC_LISTVIEW_CLASSES)) {
        MessageBoxA(nullptr, "Quorvanel needs the common controls of Internet Explorer 3 or later.",
                    "Quorvanel", MB_OK | MB_ICONSTOP);
        return 1;
    }
    quorvanel::sys::LoadCommonControls(ICC_STANDARD_CLASSES);

    if (!quorvanel::MainForm::RegisterWindowClass(instance)) return 1;
    quorvanel::MainForm form;
    if (!form.Create(instance, showCommand)) return 1;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (form.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
