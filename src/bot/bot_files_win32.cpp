#include "bot/bot_files_win32.h"

#include <map>

#include "platform/resource_ids.h"
#include "platform/system_win32.h"
#include "qvbot/bot.h"
#include "qvbot/text.h"

namespace quorvanel {
namespace {

// Larger files are not AIML anyone wrote by hand; they are refused rather than read whole.
constexpr DWORD kMaxFileBytes = 32 * 1024 * 1024;
// Folders below the chosen one that are searched for AIML files.
constexpr int kMaxFolderDepth = 8;

std::string Resource(HINSTANCE instance, int id) {
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(instance, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    return std::string(static_cast<const char*>(bytes), SizeofResource(instance, found));
}

bool EndsWithAiml(const std::wstring& name) {
    static constexpr wchar_t kExtension[] = L".aiml";
    constexpr std::size_t kLength = 5;
    if (name.size() < kLength) return false;
    for (std::size_t i = 0; i < kLength; ++i) {
        wchar_t c = name[name.size() - kLength + i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
        if (c != kExtension[i]) return false;
    }
    return true;
}

// The AIML files under `folder` as paths relative to `root`, in no particular order.
void FindAimlFiles(const std::wstring& root, const std::wstring& folder, int depth,
                   std::vector<std::wstring>& found) {
    sys::ListFolder(root + folder, [&](const std::wstring& name, bool isFolder) {
        if (isFolder) {
            if (depth < kMaxFolderDepth) FindAimlFiles(root, folder + name + L"\\", depth + 1, found);
        } else if (EndsWithAiml(name)) {
            found.push_back(folder + name);
        }
    });
}

}  // namespace

BotFiles Win32BotFiles::StarterBot() {
    BotFiles files;
    files.properties = Resource(instance_, IDR_STARTER_PROPERTIES);
    for (int id = IDR_STARTER_AIML;; ++id) {
        std::string bytes = Resource(instance_, id);
        if (bytes.empty()) break;
        files.aiml.emplace_back("starter " + std::to_string(id - IDR_STARTER_AIML + 1), std::move(bytes));
    }
    return files;
}

bool Win32BotFiles::ReadFolder(const std::wstring& folder, BotFiles& files, std::wstring& error) {
    std::wstring root = folder;
    if (root.empty()) root = L".";
    if (root.back() != L'\\' && root.back() != L'/') root += L'\\';
    if (!sys::IsFolder(root)) {
        error = folder + L": no such folder";
        return false;
    }
    std::vector<std::wstring> found;
    FindAimlFiles(root, L"", 0, found);
    // Later files replace earlier categories of the same path: the order file's, then the names'.
    std::map<std::string, std::wstring> byName;
    std::vector<std::string> names;
    for (const std::wstring& name : found) {
        names.push_back(qvbot::Utf8FromWide(name));
        byName[names.back()] = name;
    }
    std::string order;
    sys::ReadWholeFile(root + L"load-order.txt", order, kMaxFileBytes);
    for (const std::string& utf8 : qvbot::LoadOrder(std::move(names), order)) {
        std::string bytes;
        if (!sys::ReadWholeFile(root + byName[utf8], bytes, kMaxFileBytes)) {
            error = byName[utf8] + L": cannot be read";
            return false;
        }
        files.aiml.emplace_back(utf8, std::move(bytes));
    }
    for (const char* name : qvbot::kSubstitutionFiles) {
        const std::wstring wide(name, name + std::char_traits<char>::length(name));
        for (const std::wstring& place : {wide, L"config\\" + wide}) {
            std::string text;
            if (sys::ReadWholeFile(root + place, text, kMaxFileBytes)) {
                files.substitutions.emplace_back(qvbot::Utf8FromWide(place), std::move(text));
                break;
            }
        }
    }
    std::string properties;
    if (sys::ReadWholeFile(root + L"bot.properties", properties, kMaxFileBytes)) files.properties = std::move(properties);
    return true;
}

}  // namespace quorvanel
