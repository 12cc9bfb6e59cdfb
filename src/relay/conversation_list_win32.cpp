#include "relay/conversation_list_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "platform/system_win32.h"

namespace quorvanel {

ConversationListControls::ConversationListControls(HWND list, HWND enableDefault, HWND status)
    : list_(list), enableDefault_(enableDefault), status_(status) {}

int ConversationListControls::EntryCount() const {
    return static_cast<int>(sys::Send(list_, LVM_GETITEMCOUNT, 0, 0));
}

WindowHandle ConversationListControls::EntryData(int index) const {
    // No text asked for: the ANSI form serves both families.
    LVITEMA item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!sys::Send(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return 0;
    return static_cast<WindowHandle>(item.lParam);
}

std::wstring ConversationListControls::EntryText(int index) const {
    return sys::ListItemText(list_, index);
}

bool ConversationListControls::IsEntryTicked(int index) const {
    return ListView_GetCheckState(list_, index) != 0;
}

int ConversationListControls::AppendEntry(const std::wstring& text, WindowHandle data) {
    return sys::InsertListItem(list_, EntryCount(), text, static_cast<LPARAM>(data));
}

void ConversationListControls::TickEntry(int index) { ListView_SetCheckState(list_, index, TRUE); }

void ConversationListControls::UntickEntry(int index) { ListView_SetCheckState(list_, index, FALSE); }

void ConversationListControls::SetEntryNote(int index, const std::wstring& note) {
    // Set every tick, it mostly says what it already says.
    if (sys::ListItemText(list_, index, 1) == note) return;
    sys::SetListItemText(list_, index, 1, note);
    FitColumns();
}

void ConversationListControls::FitColumns() {
    int widest = 0;
    const int count = EntryCount();
    for (int i = 0; i < count; ++i) {
        const std::wstring note = sys::ListItemText(list_, i, 1);
        if (!note.empty()) widest = std::max(widest, sys::ListStringWidth(list_, note));
    }
    // The column's own margins, in the list's font.
    if (widest > 0) widest += sys::ListStringWidth(list_, L"ww");
    RECT client{};
    GetClientRect(list_, &client);
    const int full = client.right - GetSystemMetrics(SM_CXVSCROLL);
    const int notes = std::min(widest, full * 3 / 4);
    sys::Send(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(full - notes, 0));
    sys::Send(list_, LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(notes, 0));
}

void ConversationListControls::RemoveEntry(int index) {
    sys::Send(list_, LVM_DELETEITEM, static_cast<WPARAM>(index), 0);
    FitColumns();
}

bool ConversationListControls::IsEnableDefaultTicked() const {
    return sys::Send(enableDefault_, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ConversationListControls::SetStatusText(const std::wstring& text) {
    // Set every tick, it mostly says what it already says: setting it anyway would repaint it.
    if (sys::WindowText(status_) == text) return;
    sys::SetText(status_, text);
}

}  // namespace quorvanel
