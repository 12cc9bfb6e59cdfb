#pragma once

// What a window shows, and checks of its layout at the screen's dots per inch: every text fits
// its control and no two controls overlap.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quorvanel::testing {

inline std::wstring Text(HWND window) {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

inline std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    GetClassNameA(hwnd, name, sizeof(name));
    return name;
}

// A button's type (BS_CHECKBOX, BS_GROUPBOX...), or -1 for any other control.
inline LONG ButtonType(HWND control) {
    if (lstrcmpiA(ClassOf(control).c_str(), "Button") != 0) return -1;
    return GetWindowLongA(control, GWL_STYLE) & BS_TYPEMASK;
}

inline bool IsMarkButton(HWND control) {
    const LONG type = ButtonType(control);
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
           type == BS_AUTORADIOBUTTON;
}

// The room a control's text takes in the control's own font, at most `width` pixels wide unless
// a word is wider; `format` is DrawText's (line breaking, prefix characters).
inline RECT TextExtent(HWND control, UINT format, int width) {
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    const std::wstring text = Text(control);
    RECT needed{0, 0, width, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | format);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed;
}

// The width of a check box's or option button's mark and the gap after it.
inline int MarkWidth() { return GetSystemMetrics(SM_CXMENUCHECK) + 4; }

// Whether a control's text fits its client area less `beside` pixels of width taken by what the
// control draws next to it.
inline bool TextFits(HWND control, UINT format, int beside = 0) {
    RECT client{};
    GetClientRect(control, &client);
    const RECT needed = TextExtent(control, format, client.right - beside);
    return needed.right <= client.right - beside && needed.bottom <= client.bottom;
}

// Static texts wrap; a button's text is one line beside its check mark, inside its frame or
// inside its edges. Other controls (edit boxes, lists, tabs) scroll or clip their contents.
inline bool ControlTextFits(HWND control) {
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(ClassOf(control).c_str(), "Static") == 0) {
        return (style & SS_TYPEMASK) == SS_ICON ||
               TextFits(control, DT_WORDBREAK | (style & SS_NOPREFIX ? DT_NOPREFIX : 0));
    }
    if (ButtonType(control) < 0) return true;
    if (IsMarkButton(control)) return TextFits(control, DT_SINGLELINE, MarkWidth());
    const bool frame = ButtonType(control) == BS_GROUPBOX;
    return TextFits(control, DT_SINGLELINE, (frame ? 4 : 2) * GetSystemMetrics(SM_CXEDGE));
}

// What a control shows on the screen: of a check box or option button only its mark and its
// text (the rest of its rectangle is bare background), of any other control its rectangle.
inline RECT Footprint(HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    if (IsMarkButton(control)) {
        const RECT text = TextExtent(control, DT_SINGLELINE, r.right - r.left - MarkWidth());
        r.right = std::min<LONG>(r.right, r.left + MarkWidth() + text.right);
    }
    return r;
}

// Frames and tab controls hold the controls laid over them.
inline bool Holds(HWND frame, const RECT& outer, const RECT& inner) {
    const bool holder = ClassOf(frame) == "SysTabControl32" || ButtonType(frame) == BS_GROUPBOX;
    return holder && inner.left >= outer.left && inner.top >= outer.top &&
           inner.right <= outer.right && inner.bottom <= outer.bottom;
}

// Checks the visible controls of a window and, in turn, of each control.
inline void ExpectLaidOut(HWND window, const std::string& where) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowVisible(child)) children.push_back(child);
    }
    for (std::size_t i = 0; i < children.size(); ++i) {
        const std::wstring text = Text(children[i]);
        const std::string name = where + " > \"" + std::string(text.begin(), text.end()) + "\"";
        EXPECT_TRUE(ControlTextFits(children[i])) << name << " is cut off";
        const RECT a = Footprint(children[i]);
        for (std::size_t j = i + 1; j < children.size(); ++j) {
            const RECT b = Footprint(children[j]);
            RECT both{};
            if (IntersectRect(&both, &a, &b) && !Holds(children[i], a, b) &&
                !Holds(children[j], b, a)) {
                ADD_FAILURE() << name << " overlaps \"" << Text(children[j]) << "\"";
            }
        }
        ExpectLaidOut(children[i], name);
    }
}

}  // namespace quorvanel::testing
