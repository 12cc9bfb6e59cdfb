#include "platform/ansi_text_win32.h"

#include <windows.h>

#include <climits>

namespace quorvanel {

std::string ToAnsi(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string result(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
    return result;
}

std::wstring FromAnsi(const char* bytes, std::size_t count) {
    return FromCodePage(bytes, count, CP_ACP);
}

std::wstring FromCodePage(const char* bytes, std::size_t count, unsigned codePage) {
    if (codePage != CP_ACP && !IsValidCodePage(codePage)) codePage = CP_ACP;
    if (count == 0 || count > INT_MAX) return {};
    const int length = static_cast<int>(count);
    const int needed = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, bytes, length, result.data(), needed);
    return result;
}

}  // namespace quorvanel
