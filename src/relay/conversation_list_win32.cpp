#include "relay/conversation_list_win32.h"

#include <commctrl.h>

#include <vector>

namespace quorvanel {

ConversationListControls::ConversationListControls(HWND list, HWND enableDefault, HWND status)
    : list_(list), enableDefault_(enableDefault), status_(status) {}

int ConversationListControls::EntryCount() const {
    return static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
}

WindowHandle ConversationListControls::EntryData(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<WindowHandle>(item.lParam);
}

std::wstring ConversationListControls::EntryText(int index) const {
    // Entry texts come from titles of at most 259 characters.
    std::vector<wchar_t> buffer(300, L'\0');
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const auto length = SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                     reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer.data(), static_cast<std::size_t>(length));
}

bool ConversationListControls::IsEntryTicked(int index) const {
    return ListView_GetCheckState(list_, index) != 0;
}

int ConversationListControls::AppendEntry(const std::wstring& text, WindowHandle data) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = EntryCount();
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.lParam = static_cast<LPARAM>(data);
    return static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void ConversationListControls::TickEntry(int index) { ListView_SetCheckState(list_, index, TRUE); }

void ConversationListControls::RemoveEntry(int index) {
    SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
}

bool ConversationListControls::IsEnableDefaultTicked() const {
    return SendMessageW(enableDefault_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ConversationListControls::SetStatusText(const std::wstring& text) {
    // Set every tick, it mostly says what it already says: setting it anyway would repaint it.
    std::vector<wchar_t> current(text.size() + 2, L'\0');
    const int length = GetWindowTextW(status_, current.data(), static_cast<int>(current.size()));
    if (text.compare(0, std::wstring::npos, current.data(), static_cast<std::size_t>(length)) == 0) return;
    SetWindowTextW(status_, text.c_str());
}

}  // namespace quorvanel
