// A bot folder through the C++ library's file system. Apart from the loader, so that a program
// that reads folders its own way does not carry the library's file system.
#include <cstdint>
#include <fstream>
#include <system_error>

#include "qvbot/folder.h"

namespace qvbot {
namespace {

std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8Name(const std::filesystem::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

}  // namespace

bool DiskFolder::List(const std::string& path,
                      const std::function<void(const std::string&, bool)>& f) const {
    std::error_code error;
    std::filesystem::directory_iterator it(root_ / Utf8Path(path), error);
    if (error) return false;
    for (const std::filesystem::directory_iterator end; !error && it != end; it.increment(error)) {
        // An entry whose kind cannot be told is taken for a file, which then cannot be read.
        std::error_code unknown;
        const bool isFolder = it->is_directory(unknown);
        if (isFolder && it->is_symlink(unknown)) continue;
        f(Utf8Name(it->path()), isFolder);
    }
    return true;
}

bool DiskFolder::Read(const std::string& path, std::string& bytes, std::size_t maxBytes) const {
    const std::filesystem::path file = root_ / Utf8Path(path);
    // Sized first: a special file (a pipe, a device) has no size and is never opened.
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > maxBytes) return false;
    std::ifstream in(file, std::ios::binary);
    bytes.assign(static_cast<std::size_t>(size), '\0');
    const auto length = static_cast<std::streamsize>(size);
    return in.read(bytes.data(), length) && in.gcount() == length;
}

}  // namespace qvbot
