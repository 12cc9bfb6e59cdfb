#include "present/restyle.h"

#include <string_view>

#include "settings/settings.h"

namespace quorvanel {
namespace {

// Every occurrence, left to right; the scan goes on behind the inserted text.
std::wstring ReplaceAll(std::wstring_view text, std::wstring_view find, std::wstring_view with) {
    std::wstring result;
    result.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(find, from)) != std::wstring_view::npos;) {
        result.append(text.substr(from, at - from));
        result.append(with);
        from = at + find.size();
    }
    result.append(text.substr(from));
    return result;
}

}  // namespace

std::wstring RestyleReply(const std::wstring& answer, SettingsStore& settings, Dialogs& dialogs) {
    if (ReadSetting(settings, kTypeStyle) != L"messy") return answer;

    std::wstring text = answer;
    // A web address must survive intact, so a text holding one keeps its case and punctuation.
    if (text.find(L"http://") == std::wstring::npos) {
        text = dialogs.ToLowerCase(text);
        std::erase(text, L'\'');
        std::erase(text, L'.');
    }
    text = ReplaceAll(text, L"you ", L"u ");
    text = ReplaceAll(text, L"your ", L"ur ");
    text = ReplaceAll(text, L"youre ", L"u're ");
    text = ReplaceAll(text, L"are ", L"r ");
    return text;
}

}  // namespace quorvanel
