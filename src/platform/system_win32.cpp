#include "platform/system_win32.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <climits>
#include <cstring>
#include <vector>

#include "platform/ansi_text_win32.h"

namespace quorvanel::sys {
namespace {

// The wide functions, bound once; all null on 9x, where the ANSI ones serve instead.
struct WideFunctions {
    decltype(&::CreateWindowExW) CreateWindowExW = nullptr;
    decltype(&::SendMessageW) SendMessageW = nullptr;
    decltype(&::SendMessageTimeoutW) SendMessageTimeoutW = nullptr;
    decltype(&::GetWindowTextLengthW) GetWindowTextLengthW = nullptr;
    decltype(&::GetWindowTextW) GetWindowTextW = nullptr;
    decltype(&::SetWindowTextW) SetWindowTextW = nullptr;
    decltype(&::DrawTextW) DrawTextW = nullptr;
    decltype(&::MessageBoxW) MessageBoxW = nullptr;
    decltype(&::LCMapStringW) LCMapStringW = nullptr;
    decltype(&::GetWindowsDirectoryW) GetWindowsDirectoryW = nullptr;
    decltype(&::GetFileAttributesW) GetFileAttributesW = nullptr;
    decltype(&::SetFileAttributesW) SetFileAttributesW = nullptr;
    decltype(&::CreateDirectoryW) CreateDirectoryW = nullptr;
    decltype(&::CopyFileW) CopyFileW = nullptr;
    decltype(&::MoveFileW) MoveFileW = nullptr;
    decltype(&::CreateFileW) CreateFileW = nullptr;
    decltype(&::FindFirstFileW) FindFirstFileW = nullptr;
    decltype(&::FindNextFileW) FindNextFileW = nullptr;
    decltype(&::GetPrivateProfileStringW) GetPrivateProfileStringW = nullptr;
    decltype(&::WritePrivateProfileStringW) WritePrivateProfileStringW = nullptr;
    // shell32 of Windows 2000 and later; shfolder.dll has it where an older shell does not.
    decltype(&::SHGetFolderPathW) SHGetFolderPathW = nullptr;
};

template <typename F>
void Bind(F& function, HMODULE module, const char* name) {
    function = module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                      : nullptr;
}

WideFunctions BindWideFunctions() {
    WideFunctions w;
    // The platform bit of GetVersion: set on 9x. Wine imitating 98 or ME sets it too.
    if (GetVersion() & 0x80000000u) return w;
    const HMODULE user = GetModuleHandleA("user32.dll");
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    Bind(w.CreateWindowExW, user, "CreateWindowExW");
    Bind(w.SendMessageW, user, "SendMessageW");
    Bind(w.SendMessageTimeoutW, user, "SendMessageTimeoutW");
    Bind(w.GetWindowTextLengthW, user, "GetWindowTextLengthW");
    Bind(w.GetWindowTextW, user, "GetWindowTextW");
    Bind(w.SetWindowTextW, user, "SetWindowTextW");
    Bind(w.DrawTextW, user, "DrawTextW");
    Bind(w.MessageBoxW, user, "MessageBoxW");
    Bind(w.LCMapStringW, kernel, "LCMapStringW");
    Bind(w.GetWindowsDirectoryW, kernel, "GetWindowsDirectoryW");
    Bind(w.GetFileAttributesW, kernel, "GetFileAttributesW");
    Bind(w.SetFileAttributesW, kernel, "SetFileAttributesW");
    Bind(w.CreateDirectoryW, kernel, "CreateDirectoryW");
    Bind(w.CopyFileW, kernel, "CopyFileW");
    Bind(w.MoveFileW, kernel, "MoveFileW");
    Bind(w.CreateFileW, kernel, "CreateFileW");
    Bind(w.FindFirstFileW, kernel, "FindFirstFileW");
    Bind(w.FindNextFileW, kernel, "FindNextFileW");
    Bind(w.GetPrivateProfileStringW, kernel, "GetPrivateProfileStringW");
    Bind(w.WritePrivateProfileStringW, kernel, "WritePrivateProfileStringW");
    HMODULE shell = LoadLibraryA("shell32.dll");
    Bind(w.SHGetFolderPathW, shell, "SHGetFolderPathW");
    if (w.SHGetFolderPathW == nullptr) Bind(w.SHGetFolderPathW, LoadLibraryA("shfolder.dll"), "SHGetFolderPathW");
    // Every one of these exists on NT; should one be missing, the ANSI family serves instead.
    const bool complete = w.CreateWindowExW && w.SendMessageW && w.SendMessageTimeoutW && w.GetWindowTextLengthW &&
                          w.GetWindowTextW && w.SetWindowTextW && w.DrawTextW && w.MessageBoxW &&
                          w.LCMapStringW && w.GetWindowsDirectoryW && w.GetFileAttributesW &&
                          w.SetFileAttributesW && w.CreateDirectoryW && w.CopyFileW && w.MoveFileW &&
                          w.CreateFileW && w.FindFirstFileW && w.FindNextFileW &&
                          w.GetPrivateProfileStringW && w.WritePrivateProfileStringW;
    if (!complete) w = {};
    return w;
}

// Null on 9x. Chosen at the first call, which WinMain makes before any window exists.
const WideFunctions* Wide() {
    static const WideFunctions functions = BindWideFunctions();
    return functions.SendMessageW != nullptr ? &functions : nullptr;
}

std::wstring Terminated(std::wstring_view text) { return std::wstring(text); }

// An ANSI class name for the wide function.
std::wstring WideAscii(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

}  // namespace

bool IsWindows9x() { return Wide() == nullptr; }

const char* RichEditClass() { return Wide() ? "RichEdit20W" : "RichEdit20A"; }

HWND CreateControl(DWORD exStyle, const char* className, std::wstring_view text, DWORD style,
                   const RECT& at, HWND parent, int id) {
    const HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(parent, GWLP_HINSTANCE));
    const HMENU menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    if (const WideFunctions* w = Wide()) {
        return w->CreateWindowExW(exStyle, WideAscii(className).c_str(), Terminated(text).c_str(),
                                  style, at.left, at.top, at.right - at.left, at.bottom - at.top,
                                  parent, menu, instance, nullptr);
    }
    return CreateWindowExA(exStyle, className, ToAnsi(text).c_str(), style, at.left, at.top,
                           at.right - at.left, at.bottom - at.top, parent, menu, instance, nullptr);
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (const WideFunctions* w = Wide()) return w->SendMessageW(window, message, wParam, lParam);
    return SendMessageA(window, message, wParam, lParam);
}

bool SendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                LRESULT& result, bool wide) {
    // Sent messages to this thread are still handled meanwhile, as SendMessage does: the program
    // is built for that re-entrancy, and a program that sends to it while it waits is answered.
    constexpr UINT kFlags = SMTO_NORMAL | SMTO_ABORTIFHUNG;
    DWORD_PTR answer = 0;
    const WideFunctions* w = Wide();
    const LRESULT sent = wide && w ? w->SendMessageTimeoutW(window, message, wParam, lParam, kFlags, timeoutMs, &answer)
                                   : SendMessageTimeoutA(window, message, wParam, lParam, kFlags, timeoutMs, &answer);
    result = static_cast<LRESULT>(answer);
    return sent != 0;
}

std::wstring WindowText(HWND window) {
    if (const WideFunctions* w = Wide()) {
        std::wstring text(static_cast<std::size_t>(w->GetWindowTextLengthW(window)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            w->GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return FromAnsi(text.data(), text.size());
}

void SetText(HWND window, std::wstring_view text) {
    if (const WideFunctions* w = Wide()) {
        w->SetWindowTextW(window, Terminated(text).c_str());
    } else {
        SetWindowTextA(window, ToAnsi(text).c_str());
    }
}

void MeasureText(HDC dc, std::wstring_view text, RECT& rect, UINT format) {
    if (const WideFunctions* w = Wide()) {
        w->DrawTextW(dc, text.data(), static_cast<int>(text.size()), &rect, format | DT_CALCRECT);
    } else {
        const std::string ansi = ToAnsi(text);
        DrawTextA(dc, ansi.data(), static_cast<int>(ansi.size()), &rect, format | DT_CALCRECT);
    }
}

int ShowMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type) {
    if (const WideFunctions* w = Wide()) {
        return w->MessageBoxW(owner, Terminated(text).c_str(), Terminated(caption).c_str(), type);
    }
    return MessageBoxA(owner, ToAnsi(text).c_str(), ToAnsi(caption).c_str(), type);
}

namespace {

// The dialog in either family: Ofn is OPENFILENAMEW or OPENFILENAMEA, Text the strings for it. The
// filter's pairs are separated by NULs, which the strings keep.
template <typename Ofn, typename Text>
bool AskSave(HMODULE dialogs, const char* function, HWND owner, Text& name, const Text& filter,
             const Text& extension) {
    BOOL(WINAPI * save)(Ofn*) = nullptr;
    Bind(save, dialogs, function);
    Ofn ofn{};
    // The size every Windows takes; the later fields add nothing asked for here.
    ofn.lStructSize = sizeof(Ofn) == sizeof(OPENFILENAMEW) ? OPENFILENAME_SIZE_VERSION_400W
                                                           : OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = name.data();
    ofn.nMaxFile = static_cast<DWORD>(name.size());
    ofn.lpstrDefExt = extension.c_str();
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    return save != nullptr && save(&ofn);
}

}  // namespace

std::wstring AskSaveFileName(HWND owner, std::wstring_view suggested, std::wstring_view filter,
                             std::wstring_view extension) {
    // Loaded only when asked: most runs never save a file, and start-up stays as it was.
    const HMODULE dialogs = LoadLibraryA("comdlg32.dll");
    if (dialogs == nullptr) return {};
    std::wstring chosen;
    if (Wide() != nullptr) {
        std::wstring name(suggested);
        name.resize(MAX_PATH * 4, L'\0');
        if (AskSave<OPENFILENAMEW>(dialogs, "GetSaveFileNameW", owner, name, std::wstring(filter),
                                   std::wstring(extension))) {
            chosen = name.c_str();
        }
    } else {
        std::string name = ToAnsi(suggested);
        name.resize(MAX_PATH, '\0');
        if (AskSave<OPENFILENAMEA>(dialogs, "GetSaveFileNameA", owner, name, ToAnsi(filter),
                                   ToAnsi(extension))) {
            chosen = FromAnsi(name.c_str(), std::strlen(name.c_str()));
        }
    }
    FreeLibrary(dialogs);
    return chosen;
}

bool RegisterClassOnce(const WNDCLASSEXA& windowClass) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof(existing);
    if (GetClassInfoExA(windowClass.hInstance, windowClass.lpszClassName, &existing)) return true;
    return RegisterClassExA(&windowClass) != 0;
}

bool LoadCommonControls(DWORD family) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), family};
    return InitCommonControlsEx(&controls) != FALSE;
}

int InsertListItem(HWND list, int index, std::wstring_view text, LPARAM data) {
    if (const WideFunctions* w = Wide()) {
        std::wstring copy(text);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index;
        item.pszText = copy.data();
        item.lParam = data;
        return static_cast<int>(w->SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    std::string copy = ToAnsi(text);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = copy.data();
    item.lParam = data;
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

std::wstring ListItemText(HWND list, int index, int subItem) {
    // Entry texts come from titles of at most 259 characters.
    constexpr int kChars = 300;
    if (const WideFunctions* w = Wide()) {
        std::vector<wchar_t> buffer(kChars, L'\0');
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = buffer.data();
        item.cchTextMax = kChars;
        const auto length = w->SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(&item));
        return std::wstring(buffer.data(), static_cast<std::size_t>(length));
    }
    std::vector<char> buffer(kChars, '\0');
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = buffer.data();
    item.cchTextMax = kChars;
    const auto length = SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item));
    return FromAnsi(buffer.data(), static_cast<std::size_t>(length));
}

void SetListItemText(HWND list, int index, int subItem, std::wstring_view text) {
    if (const WideFunctions* w = Wide()) {
        std::wstring copy(text);
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = copy.data();
        w->SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return;
    }
    std::string copy = ToAnsi(text);
    LVITEMA item{};
    item.iSubItem = subItem;
    item.pszText = copy.data();
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int ListStringWidth(HWND list, std::wstring_view text) {
    if (const WideFunctions* w = Wide()) {
        return static_cast<int>(w->SendMessageW(list, LVM_GETSTRINGWIDTHW, 0,
                                                reinterpret_cast<LPARAM>(Terminated(text).c_str())));
    }
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0,
                                         reinterpret_cast<LPARAM>(ToAnsi(text).c_str())));
}

void InsertListColumn(HWND list, int index, int width) {
    // No text: the two forms of the structure agree.
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH;
    column.cx = width;
    Send(list, Wide() ? LVM_INSERTCOLUMNW : LVM_INSERTCOLUMNA, static_cast<WPARAM>(index),
         reinterpret_cast<LPARAM>(&column));
}

void InsertTab(HWND tabs, int index, std::wstring_view text) {
    if (const WideFunctions* w = Wide()) {
        std::wstring copy(text);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = copy.data();
        w->SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return;
    }
    std::string copy = ToAnsi(text);
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = copy.data();
    SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void AddToolTip(HWND tips, HWND window, UINT_PTR id, const RECT& rect) {
    // The first version's size, which comctl32 4.70 and later understand alike.
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = window;
    tool.uId = id;
    tool.rect = rect;
    tool.lpszText = LPSTR_TEXTCALLBACKA;
    // LPSTR_TEXTCALLBACKW is the same value: the two structures agree without text.
    Send(tips, Wide() ? TTM_ADDTOOLW : TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

std::wstring LowerCase(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return std::wstring(text);
    if (const WideFunctions* w = Wide()) {
        const int length = static_cast<int>(text.size());
        std::wstring lower(text.size(), L'\0');
        // Lower-casing never changes the length in UTF-16 with this mapping.
        if (w->LCMapStringW(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text.data(), length,
                            lower.data(), length) != length) {
            return std::wstring(text);
        }
        return lower;
    }
    std::string ansi = ToAnsi(text);
    CharLowerBuffA(ansi.data(), static_cast<DWORD>(ansi.size()));
    return FromAnsi(ansi.data(), ansi.size());
}

std::wstring ReadProfileString(const std::wstring& file, std::wstring_view section,
                               std::wstring_view key, std::wstring_view defaultValue, int bufferChars,
                               int size) {
    if (bufferChars <= 0) return {};
    if (const WideFunctions* w = Wide()) {
        std::wstring buffer(static_cast<std::size_t>(bufferChars), L' ');
        w->GetPrivateProfileStringW(Terminated(section).c_str(), Terminated(key).c_str(),
                                    Terminated(defaultValue).c_str(), buffer.data(), static_cast<DWORD>(size),
                                    file.c_str());
        // As the ANSI form would give it: a character the code page lacks is its default one.
        const std::string ansi = ToAnsi(buffer);
        return FromAnsi(ansi.data(), ansi.size());
    }
    std::vector<char> buffer(static_cast<std::size_t>(bufferChars), ' ');
    GetPrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(defaultValue).c_str(),
                             buffer.data(), static_cast<DWORD>(size), ToAnsi(file).c_str());
    return FromAnsi(buffer.data(), buffer.size());
}

bool WriteProfileString(const std::wstring& file, std::wstring_view section, std::wstring_view key,
                        std::wstring_view value) {
    if (const WideFunctions* w = Wide()) {
        // The value as the ANSI form would store it.
        const std::string ansi = ToAnsi(value);
        return w->WritePrivateProfileStringW(Terminated(section).c_str(), Terminated(key).c_str(),
                                             FromAnsi(ansi.data(), ansi.size()).c_str(), file.c_str()) != FALSE;
    }
    return WritePrivateProfileStringA(ToAnsi(section).c_str(), ToAnsi(key).c_str(), ToAnsi(value).c_str(),
                                      ToAnsi(file).c_str()) != FALSE;
}

std::wstring WindowsDirectory() {
    std::wstring path;
    if (const WideFunctions* w = Wide()) {
        std::vector<wchar_t> directory(MAX_PATH + 1, L'\0');
        const UINT length = w->GetWindowsDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
        path.assign(directory.data(), length <= MAX_PATH ? length : 0);
    } else {
        std::vector<char> directory(MAX_PATH + 1, '\0');
        const UINT length = GetWindowsDirectoryA(directory.data(), static_cast<UINT>(directory.size()));
        path = FromAnsi(directory.data(), length <= MAX_PATH ? length : 0);
    }
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

namespace {
std::wstring ShellFolder(int csidl) {
    const WideFunctions* w = Wide();
    if (w == nullptr || w->SHGetFolderPathW == nullptr) return {};
    std::vector<wchar_t> folder(MAX_PATH + 1, L'\0');
    if (w->SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder.data()) != S_OK) return {};
    return folder.data();
}
}  // namespace

std::wstring LocalAppDataFolder() { return ShellFolder(CSIDL_LOCAL_APPDATA); }

std::wstring AppDataFolder() { return ShellFolder(CSIDL_APPDATA); }

namespace {
DWORD Attributes(const std::wstring& path) {
    if (const WideFunctions* w = Wide()) return w->GetFileAttributesW(path.c_str());
    return GetFileAttributesA(ToAnsi(path).c_str());
}
}  // namespace

bool Exists(const std::wstring& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
    // 9x refuses a folder named with a trailing backslash, except a drive's root ("C:\").
    std::wstring bare = path;
    while (bare.size() > 1 && bare.back() == L'\\' && !(bare.size() == 3 && bare[1] == L':')) bare.pop_back();
    const DWORD attributes = Attributes(bare);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolder(const std::wstring& path) {
    if (const WideFunctions* w = Wide()) {
        w->CreateDirectoryW(path.c_str(), nullptr);
    } else {
        CreateDirectoryA(ToAnsi(path).c_str(), nullptr);
    }
}

bool CopyNewFile(const std::wstring& from, const std::wstring& to) {
    if (const WideFunctions* w = Wide()) return w->CopyFileW(from.c_str(), to.c_str(), TRUE) != FALSE;
    return CopyFileA(ToAnsi(from).c_str(), ToAnsi(to).c_str(), TRUE) != FALSE;
}

bool MoveFileTo(const std::wstring& from, const std::wstring& to) {
    if (const WideFunctions* w = Wide()) return w->MoveFileW(from.c_str(), to.c_str()) != FALSE;
    return MoveFileA(ToAnsi(from).c_str(), ToAnsi(to).c_str()) != FALSE;
}

void ClearFileAttributes(const std::wstring& path) {
    if (const WideFunctions* w = Wide()) {
        w->SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    } else {
        SetFileAttributesA(ToAnsi(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD maxBytes) {
    const WideFunctions* w = Wide();
    const HANDLE file =
        w ? w->CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
          : CreateFileA(ToAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= maxBytes;
    if (ok) {
        bytes.assign(size, '\0');
        DWORD read = 0;
        ok = size == 0 || (ReadFile(file, bytes.data(), size, &read, nullptr) && read == size);
    }
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    const WideFunctions* w = Wide();
    const HANDLE file = w ? w->CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr)
                          : CreateFileA(ToAnsi(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        bytes.size() <= MAXDWORD &&
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    return CloseHandle(file) && ok;
}

void ListFolder(const std::wstring& folder, const std::function<void(const std::wstring&, bool)>& f) {
    const std::wstring pattern = folder + L"*";
    if (const WideFunctions* w = Wide()) {
        WIN32_FIND_DATAW entry{};
        const HANDLE search = w->FindFirstFileW(pattern.c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L"..") f(name, (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        } while (w->FindNextFileW(search, &entry));
        FindClose(search);
        return;
    }
    WIN32_FIND_DATAA entry{};
    const HANDLE search = FindFirstFileA(ToAnsi(pattern).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..") {
            f(FromAnsi(name.data(), name.size()), (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

}  // namespace quorvanel::sys
