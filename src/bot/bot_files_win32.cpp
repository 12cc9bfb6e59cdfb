#include "bot/bot_files_win32.h"

#include <algorithm>

#include "platform/resource_ids.h"
#include "platform/system_win32.h"
#include "qvbot/text.h"

namespace quorvanel {
namespace {

HRSRC FindData(HINSTANCE instance, int id) {
    return FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
}

bool ReadResource(HINSTANCE instance, int id, std::string& bytes) {
    HRSRC found = FindData(instance, id);
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return false;
    bytes.assign(static_cast<const char*>(data), SizeofResource(instance, found));
    return true;
}

// Starter files are named by their place among the resources, so that by name they load in
// the order they were carried in.
std::string StarterName(int index) {
    return std::to_string(1000 + index).substr(1) + ".aiml";
}

}  // namespace

Win32Folder::Win32Folder(std::wstring root) : root_(std::move(root)) {
    if (root_.empty()) root_ = L".";
    if (root_.back() != L'\\' && root_.back() != L'/') root_ += L'\\';
}

std::wstring Win32Folder::Path(const std::string& path) const {
    std::wstring wide = qvbot::WideFromUtf8(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return root_ + wide;
}

bool Win32Folder::List(const std::string& path,
                       const std::function<void(const std::string&, bool)>& f) const {
    std::wstring folder = Path(path);
    if (folder.back() != L'\\') folder += L'\\';
    if (!sys::IsFolder(folder)) return false;
    sys::ListFolder(folder, [&](const std::wstring& name, bool isFolder) {
        f(qvbot::Utf8FromWide(name), isFolder);
    });
    return true;
}

bool Win32Folder::Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const {
    const auto limit = static_cast<DWORD>(std::min<std::size_t>(maxBytes, MAXDWORD));
    return sys::ReadWholeFile(Path(path), bytes, limit);
}

bool StarterBotResources::List(const std::string& path,
                               const std::function<void(const std::string&, bool)>& f) const {
    if (!path.empty()) return false;
    f(qvbot::kPropertiesFile, false);
    for (int index = 0; FindData(instance_, IDR_STARTER_AIML + index) != nullptr; ++index) {
        f(StarterName(index), false);
    }
    return true;
}

bool StarterBotResources::Read(const std::string& path, std::string& bytes, std::size_t) const {
    if (path == qvbot::kPropertiesFile) {
        return ReadResource(instance_, IDR_STARTER_PROPERTIES, bytes);
    }
    for (int index = 0; FindData(instance_, IDR_STARTER_AIML + index) != nullptr; ++index) {
        if (path == StarterName(index)) {
            return ReadResource(instance_, IDR_STARTER_AIML + index, bytes);
        }
    }
    return false;
}

}  // namespace quorvanel
