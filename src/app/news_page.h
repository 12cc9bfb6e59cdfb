#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvanel {

inline constexpr wchar_t kNewsMarker[] = L"<!-- Quorvanel_Data -->";
inline constexpr wchar_t kNewsPath[] = L"/public/quorvanel/index.php?progversion=1.11";
inline constexpr wchar_t kNewsHost[] = L"www.example.com";

// The news page as the panel shows it: its text, and the links in it.
struct NewsText {
    struct Link {
        std::size_t start;
        std::size_t length;
        std::wstring href;
    };
    std::wstring text;
    std::vector<Link> links;
};

// True when the body markup carries the program's marker (exact, with case).
bool CarriesNewsMarker(std::wstring_view bodyMarkup);

// The readable text of a page's body, with line breaks for breaks and blocks, runs of white
// space collapsed, scripts and styles left out, and each link's text and address.
NewsText ReadNewsText(std::wstring_view page);

}  // namespace quorvanel
