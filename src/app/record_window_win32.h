#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/modal_window_win32.h"
#include "store/sqlite_store.h"

namespace quorvanel {

// Names by which the Record window and its controls are found from outside.
inline constexpr char kRecordClassName[] = "QuorvanelRecordForm";
inline constexpr char kRecordCaption[] = "Record";

inline constexpr int kIdRecordSearch = 301;
inline constexpr int kIdRecordContacts = 302;
inline constexpr int kIdRecordExchanges = 303;
inline constexpr int kIdRecordSave = 304;
inline constexpr int kIdRecordClear = 305;
inline constexpr int kIdRecordClose = IDCANCEL;  // Esc closes
inline constexpr int kIdRecordSearchLabel = 311;
inline constexpr int kIdRecordContactsLabel = 312;
inline constexpr int kIdRecordExchangesLabel = 313;

// The record of what the robot said in the user's name: the contacts, the latest heard first,
// and the chosen one's exchanges in order; a search over names and what was said; the record
// saved as text, or cleared.
class RecordWindow : public ModalWindow {
  public:
    explicit RecordWindow(SqliteStore& store) : store_(store) {}

  protected:
    HWND Create(HWND owner) override;
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void CreateControls();
    // The contacts that match the search, the first of them chosen; read again later when the
    // file is busy this moment.
    void LoadContacts();
    void ShowExchanges(int entry);
    // The text of a contacts list entry, as the list asks for it.
    std::wstring EntryText(int entry) const;
    void cmdSave_Click();
    void cmdClear_Click();

    SqliteStore& store_;
    std::wstring search_;
    std::vector<RecordContact> contacts_;
    std::wstring entryText_;  // the text last handed to the list, kept while it reads it
    std::string entryAnsi_;
    bool loading_ = false;
    HWND txtSearch_ = nullptr;
    HWND lstContacts_ = nullptr;
    HWND txtExchanges_ = nullptr;
};

}  // namespace quorvanel
