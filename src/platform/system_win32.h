#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// The one place that knows which family of Windows runs the program, chosen once at start-up:
// NT (2000 and later) gets the wide functions, bound at run time because Windows 98 exports most
// of them only as stubs that fail; 9x (98 and ME) gets the ANSI ones, its text converted through
// the ANSI code page (a character that code page lacks becomes its default character). The rest
// of the program calls these functions for anything that carries text, never a W function.
namespace quorvanel::sys {

// True on Windows 98 and ME (and on Wine imitating them).
bool IsWindows9x();

// Windows and their texts. Class names are ASCII.
HWND CreateControl(DWORD exStyle, const char* className, std::wstring_view text, DWORD style,
                   const RECT& at, HWND parent, int id);
// A message that carries no text (or only numbers and structures without text).
LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same to another program's window, waiting at most timeoutMs and not at all for a window
// Windows takes for hung. False when no answer came; wide messages in the program's family.
bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                LRESULT& result, bool wide);
std::wstring WindowText(HWND window);
void SetText(HWND window, std::wstring_view text);
// DrawText with DT_CALCRECT and the given format: the rectangle the text needs.
void MeasureText(HDC dc, std::wstring_view text, RECT& rect, UINT format);
// The button pressed (IDOK, IDYES...).
int ShowMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type);
// The common Save As dialog, suggesting a name; the path chosen, or empty when cancelled. The
// filter's pairs of name and pattern are separated, and ended, by NULs.
std::wstring AskSaveFileName(HWND owner, std::wstring_view suggested, std::wstring_view filter,
                             std::wstring_view extension);

// Registers a window class unless the program has it already. Whether it has is asked, never
// read from the last error: 9x's USER often leaves that unset when a class exists.
bool RegisterClassOnce(const WNDCLASSEXA& windowClass);
// Loads one family of common controls. Each family has a call of its own: a comctl32 that does
// not know one flag (the standard classes are comctl32 6's) fails the whole call.
bool LoadCommonControls(DWORD family);

// The rich edit control's class in the program's family.
const char* RichEditClass();

// Common controls, in the form of the control's window (wide on NT, ANSI on 9x).
int InsertListItem(HWND list, int index, std::wstring_view text, LPARAM data);
std::wstring ListItemText(HWND list, int index, int subItem = 0);
void SetListItemText(HWND list, int index, int subItem, std::wstring_view text);
// The width in pixels the list's font gives the text.
int ListStringWidth(HWND list, std::wstring_view text);
void InsertListColumn(HWND list, int index, int width);
void InsertTab(HWND tabs, int index, std::wstring_view text);
// A tool of the tool tip window over `rect` of `window`, its text asked for by notification.
void AddToolTip(HWND tips, HWND window, UINT_PTR id, const RECT& rect);

// The system locale's lower case.
std::wstring LowerCase(std::wstring_view text);

// The profile functions on a file given by its path, wide on NT so that a path outside the ANSI
// code page (a user "Pawel" with its Polish l on a Western system) still reaches the file. Text
// crosses as the ANSI functions would give it. Write sets the last error on failure.
std::wstring ReadProfileString(const std::wstring& file, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue, int bufferChars,
                               int size);
bool WriteProfileString(const std::wstring& file, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value);

// Files and folders.
std::wstring WindowsDirectory();  // ending in a backslash; empty when it cannot be had
// The user's local application data folder; empty where there is none (9x).
std::wstring LocalAppDataFolder();
// The user's (roaming) application data folder; empty where there is none (9x).
std::wstring AppDataFolder();
bool Exists(const std::wstring& path);
bool IsFolder(const std::wstring& path);
void CreateFolder(const std::wstring& path);
bool CopyNewFile(const std::wstring& from, const std::wstring& to);
// Renames a file on its volume; false when it is missing or `to` exists.
bool MoveFileTo(const std::wstring& from, const std::wstring& to);
void ClearFileAttributes(const std::wstring& path);
// The whole file, when it has at most maxBytes.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD maxBytes);
// Writes the file anew; false when it could not be written whole.
bool WriteWholeFile(const std::wstring& path, std::string_view bytes);
// Calls f(name, isFolder) for each entry of the folder but "." and "..".
void ListFolder(const std::wstring& folder, const std::function<void(const std::wstring&, bool)>& f);

}  // namespace quorvanel::sys
