#include "app/record_window_win32.h"

#include <commctrl.h>

#include <iterator>

#include "platform/ansi_text_win32.h"
#include "platform/system_win32.h"
#include "qvbot/text.h"
#include "store/record_text.h"

namespace quorvanel {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_WINDOWEDGE;

// Client area and controls as designed, in twips.
constexpr int kClientWidthTwips = 9120;
constexpr int kClientHeightTwips = 6180;

struct Placement {
    int left, top, width, height;
};
constexpr Placement kLblSearch{120, 165, 1080, 240};
constexpr Placement kTxtSearch{1200, 120, 3360, 315};
constexpr Placement kLblContacts{120, 570, 2700, 240};
constexpr Placement kLstContacts{120, 840, 2700, 4620};
constexpr Placement kLblExchanges{2940, 570, 3000, 240};
constexpr Placement kTxtExchanges{2940, 840, 6060, 4620};
constexpr Placement kCmdSave{120, 5655, 1800, 375};
constexpr Placement kCmdClear{2040, 5655, 1800, 375};
constexpr Placement kCmdClose{7680, 5655, 1320, 375};

// A search is made once typing pauses this long; a busy file is read again after it too.
constexpr UINT_PTR kReadTimer = 1;
constexpr UINT kReadDelayMs = 250;
// A contact's latest exchanges shown (all go into a saved text), and at most this many
// characters of them: a 9x edit box holds no more than 64 KB.
constexpr std::size_t kShownExchanges = 300;
constexpr std::size_t kShownChars = 60000;

constexpr wchar_t kFilter[] = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
constexpr wchar_t kCaption[] = L"Quorvanel";

}  // namespace

HWND RecordWindow::Create(HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    if (!RegisterModalClass(instance, kRecordClassName)) return nullptr;
    focus_ = nullptr;
    search_.clear();
    contacts_.clear();
    if (!CreateFixedWindow(owner, kRecordClassName, kRecordCaption, kStyle, kExStyle,
                           kClientWidthTwips, kClientHeightTwips)) {
        return nullptr;
    }
    CreateControls();
    LoadContacts();
    CentreOnScreen(hwnd_);
    return hwnd_;
}

void RecordWindow::CreateControls() {
    const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    auto make = [&](DWORD exStyle, const char* className, const wchar_t* text, DWORD style,
                    const Placement& at, int id) {
        const RECT rect{twips_.X(at.left), twips_.Y(at.top), twips_.X(at.left + at.width),
                        twips_.Y(at.top + at.height)};
        HWND control = sys::CreateControl(exStyle, className, text, WS_CHILD | WS_VISIBLE | style,
                                          rect, hwnd_, id);
        sys::Send(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return control;
    };
    // Created in tab order, each label before its control so that its access key reaches it.
    make(0, "STATIC", L"&Search:", SS_LEFT, kLblSearch, kIdRecordSearchLabel);
    txtSearch_ = make(WS_EX_CLIENTEDGE, "EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kTxtSearch,
                      kIdRecordSearch);
    make(0, "STATIC", L"&Contacts:", SS_LEFT, kLblContacts, kIdRecordContactsLabel);
    // Filled on demand: ten thousand contacts cost no more than ten.
    lstContacts_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWA, L"",
                        WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL |
                            LVS_SHOWSELALWAYS | LVS_OWNERDATA,
                        kLstContacts, kIdRecordContacts);
    make(0, "STATIC", L"E&xchanges:", SS_LEFT, kLblExchanges, kIdRecordExchangesLabel);
    txtExchanges_ = make(WS_EX_CLIENTEDGE, "EDIT", L"",
                         WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                         kTxtExchanges, kIdRecordExchanges);
    make(0, "BUTTON", L"Save as &text...", WS_TABSTOP | BS_PUSHBUTTON, kCmdSave, kIdRecordSave);
    make(0, "BUTTON", L"C&lear record", WS_TABSTOP | BS_PUSHBUTTON, kCmdClear, kIdRecordClear);
    make(0, "BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kCmdClose, kIdRecordClose);

    sys::Send(lstContacts_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
              LVS_EX_FULLROWSELECT);
    RECT client{};
    GetClientRect(lstContacts_, &client);
    sys::InsertListColumn(lstContacts_, 0, client.right - GetSystemMetrics(SM_CXVSCROLL));
}

void RecordWindow::LoadContacts() {
    KillTimer(hwnd_, kReadTimer);
    auto contacts = store_.RecordContacts(qvbot::Utf8FromWide(search_));
    if (!contacts) {
        // Another program holds the file this moment: asked again soon, never waited for.
        SetTimer(hwnd_, kReadTimer, kReadDelayMs, nullptr);
        return;
    }
    contacts_ = std::move(*contacts);
    sys::Send(lstContacts_, LVM_SETITEMCOUNT, contacts_.size(), 0);
    if (contacts_.empty()) {
        sys::SetText(txtExchanges_,
                     search_.empty() ? L"The record is empty." : L"Nothing matches the search.");
        return;
    }
    // The first entry chosen shows its exchanges, once: not again as the list tells of the choice.
    loading_ = true;
    ListView_SetItemState(lstContacts_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(lstContacts_, 0, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
    loading_ = false;
    ShowExchanges(0);
}

std::wstring RecordWindow::EntryText(int entry) const {
    if (entry < 0 || static_cast<std::size_t>(entry) >= contacts_.size()) return {};
    const RecordContact& contact = contacts_[static_cast<std::size_t>(entry)];
    return qvbot::WideFromUtf8(contact.contact) + L" (" + std::to_wstring(contact.exchanges) + L")";
}

void RecordWindow::ShowExchanges(int entry) {
    if (entry < 0 || static_cast<std::size_t>(entry) >= contacts_.size()) return;
    const RecordContact& contact = contacts_[static_cast<std::size_t>(entry)];
    const auto rows =
        store_.RecordOf(contact.contact, qvbot::Utf8FromWide(search_), kShownExchanges);
    if (!rows) {
        SetTimer(hwnd_, kReadTimer, kReadDelayMs, nullptr);
        return;
    }
    // The latest that fit, in order.
    std::wstring text;
    std::size_t shown = 0;
    for (auto row = rows->rbegin(); row != rows->rend(); ++row, ++shown) {
        std::wstring exchange = ExchangeText(*row) + L"\r\n";
        if (!text.empty() && text.size() + exchange.size() > kShownChars) break;
        text.insert(0, exchange);
    }
    if (shown < static_cast<std::size_t>(contact.exchanges)) {
        text.insert(0, L"(The latest " + std::to_wstring(shown) + L" of " +
                           std::to_wstring(contact.exchanges) +
                           L" exchanges; \"Save as text...\" keeps them all.)\r\n\r\n");
    }
    sys::SetText(txtExchanges_, text);
    // The latest at the bottom, in view.
    sys::Send(txtExchanges_, EM_SETSEL, text.size(), text.size());
    sys::Send(txtExchanges_, EM_SCROLLCARET, 0, 0);
}

void RecordWindow::cmdSave_Click() {
    const std::wstring path = sys::AskSaveFileName(
        hwnd_, L"Quorvanel record.txt", std::wstring_view(kFilter, std::size(kFilter)), L"txt");
    if (path.empty()) return;
    const auto rows = store_.RecordOf(std::nullopt, qvbot::Utf8FromWide(search_));
    if (!rows) {
        sys::ShowMessageBox(hwnd_, L"The record's file is busy this moment: please try again.",
                            kCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!sys::WriteWholeFile(path, RecordFileText(*rows))) {
        sys::ShowMessageBox(hwnd_, L"The record could not be saved as " + path + L".", kCaption,
                            MB_OK | MB_ICONEXCLAMATION);
    }
}

void RecordWindow::cmdClear_Click() {
    if (sys::ShowMessageBox(
            hwnd_, L"Clear the record of everything said in your name? This cannot be undone.",
            kCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) {
        return;
    }
    store_.ClearRecord();
    LoadContacts();
}

LRESULT RecordWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kIdRecordSearch:
                    if (HIWORD(wParam) == EN_CHANGE) {
                        search_ = sys::WindowText(txtSearch_);
                        SetTimer(hwnd_, kReadTimer, kReadDelayMs, nullptr);
                    }
                    return 0;
                case kIdRecordSave:
                    cmdSave_Click();
                    return 0;
                case kIdRecordClear:
                    cmdClear_Click();
                    return 0;
                case kIdRecordClose:
                    EndModal(IDCANCEL);
                    return 0;
                default:
                    break;
            }
            break;
        case WM_TIMER:
            if (wParam == kReadTimer) {
                LoadContacts();
                return 0;
            }
            break;
        case WM_NOTIFYFORMAT:
            // The list's texts in the program's family: wide on NT, where names may lie outside
            // the ANSI code page.
            return sys::IsWindows9x() ? NFR_ANSI : NFR_UNICODE;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
            if (header.hwndFrom != lstContacts_) break;
            if (header.code == LVN_GETDISPINFOW || header.code == LVN_GETDISPINFOA) {
                // The W and A forms share their layout up to the text's pointer.
                auto& item = reinterpret_cast<NMLVDISPINFOW*>(lParam)->item;
                if ((item.mask & LVIF_TEXT) == 0 || item.cchTextMax <= 0) return 0;
                entryText_ =
                    EntryText(item.iItem).substr(0, static_cast<std::size_t>(item.cchTextMax - 1));
                if (header.code == LVN_GETDISPINFOW) {
                    item.pszText = entryText_.data();
                } else {
                    entryAnsi_ = ToAnsi(entryText_);
                    reinterpret_cast<NMLVDISPINFOA*>(lParam)->item.pszText = entryAnsi_.data();
                }
                return 0;
            }
            if (header.code == LVN_ITEMCHANGED) {
                const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lParam);
                if (!loading_ && (change.uNewState & LVIS_SELECTED) != 0 &&
                    (change.uOldState & LVIS_SELECTED) == 0) {
                    ShowExchanges(change.iItem);
                }
                return 0;
            }
            break;
        }
        case WM_ACTIVATE:
            // Not a dialog: the focus is given to a control by hand, and kept across deactivation.
            KeepFocus(wParam, lstContacts_);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kReadTimer);
            break;
        default:
            break;
    }
    return ModalWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace quorvanel
