#include "app/news_panel_win32.h"

#include <richedit.h>
#include <shellapi.h>

#include <cwctype>
#include <string_view>

#include "platform/system_win32.h"
#include "platform/ansi_text_win32.h"

namespace quorvanel {
namespace {

bool IsWebAddress(const std::wstring& href) {
    auto startsWith = [&](std::wstring_view scheme) {
        if (href.size() <= scheme.size()) return false;
        for (std::size_t i = 0; i < scheme.size(); ++i) {
            if (towlower(href[i]) != scheme[i]) return false;
        }
        return true;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

}  // namespace

bool NewsPanel::Create(HWND parent, int id, const RECT& at) {
    // The rich edit classes live in this library, loaded once for the process.
    if (GetModuleHandleA("riched20.dll") == nullptr && LoadLibraryA("riched20.dll") == nullptr) {
        return false;
    }
    edit_ = sys::CreateControl(0, sys::RichEditClass(), L"",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                   ES_AUTOVSCROLL,
                               at, parent, id);
    if (edit_ == nullptr) return false;
    sys::Send(edit_, EM_SETEVENTMASK, 0, ENM_LINK);
    sys::Send(edit_, EM_SETBKGNDCOLOR, FALSE, GetSysColor(COLOR_WINDOW));
    return true;
}

void NewsPanel::Show(const NewsText& news) {
    if (edit_ == nullptr) return;
    links_ = news.links;
    sys::SetText(edit_, news.text);
    for (const NewsText::Link& link : links_) {
        CHARRANGE range{static_cast<LONG>(link.start), static_cast<LONG>(link.start + link.length)};
        sys::Send(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        // The control tells the two forms apart by their size, in either family.
        CHARFORMAT2A format{};
        format.cbSize = sizeof(format);
        format.dwMask = CFM_LINK;
        format.dwEffects = CFE_LINK;
        sys::Send(edit_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    CHARRANGE start{0, 0};
    sys::Send(edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

bool NewsPanel::OnNotify(const NMHDR& header) {
    if (header.hwndFrom != edit_ || header.code != EN_LINK) return false;
    const auto& link = reinterpret_cast<const ENLINK&>(header);
    if (link.msg != WM_LBUTTONUP) return false;
    for (const NewsText::Link& known : links_) {
        const auto start = static_cast<LONG>(known.start);
        if (link.chrg.cpMin >= start && link.chrg.cpMin < start + static_cast<LONG>(known.length)) {
            // A page from the network must not start programs or open local files: web links only.
            if (!IsWebAddress(known.href)) return true;
            const std::string address = ToAnsi(known.href);
            ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
            return true;
        }
    }
    return false;
}

}  // namespace quorvanel
