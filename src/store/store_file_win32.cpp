#include "store/store_file_win32.h"

#include "platform/system_win32.h"
#include "qvbot/text.h"

namespace quorvanel {

namespace {
constexpr wchar_t kFileName[] = L"quorvanel.db";
}  // namespace

std::wstring StoreFilePath() {
    if (!sys::IsWindows9x()) {
        const std::wstring appData = sys::AppDataFolder();
        if (!appData.empty()) return appData + L"\\Quorvanel\\" + kFileName;
    }
    const std::wstring windows = sys::WindowsDirectory();
    return windows.empty() ? std::wstring() : windows + kFileName;
}

std::unique_ptr<SqliteStore> OpenStoreFile() {
    const std::wstring path = StoreFilePath();
    StoreOptions options;
    options.writeAheadLog = !sys::IsWindows9x();
    // Mapped files are NT's to trust; on 9x the reader reads page by page.
    if (!sys::IsWindows9x()) options.readerMapBytes = 256 << 20;
    options.moveFile = [](const std::string& from, const std::string& to) {
        return sys::MoveFileTo(qvbot::WideFromUtf8(from), qvbot::WideFromUtf8(to));
    };
    if (path.empty()) return std::make_unique<SqliteStore>(std::string(), options);
    const std::wstring folder = path.substr(0, path.rfind(L'\\'));
    if (!sys::IsFolder(folder)) sys::CreateFolder(folder);
    // SQLite takes the name in UTF-8, and passes it to the wide functions on NT and through the
    // ANSI code page on 9x.
    return std::make_unique<SqliteStore>(qvbot::Utf8FromWide(path), options);
}

}  // namespace quorvanel

namespace quorvanel {

std::wstring MovedAsideMessage(const SqliteStore& store) {
    if (store.MovedAside().empty()) return {};
    return L"The file Quorvanel remembers your contacts in could not be used (it is damaged, or "
           L"another program's), so a new one was started:\r\n\r\n" +
           qvbot::WideFromUtf8(store.Path()) + L"\r\n\r\nThe old file was kept as:\r\n\r\n" +
           qvbot::WideFromUtf8(store.MovedAside());
}

}  // namespace quorvanel
