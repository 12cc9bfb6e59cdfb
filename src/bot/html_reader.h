#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvanel::html {

// The content of the document's body as an old browser control's innerHTML gave it: tags
// upper-cased with lower-case, double-quoted attributes, text escaped, no implied end tags (the
// markup's own tags in its own order). Without a body start tag the body begins at the first
// thing a head cannot hold. Ends at the body or html end tag, or at the end of the text.
std::wstring BodyInnerHtml(std::wstring_view document);

// The value of the first input, button or textarea named `controlName` (exact match) in the
// document's first form; nullopt when there is no form or no such control in it.
std::optional<std::wstring> FirstFormControlValue(std::wstring_view document,
                                                  std::wstring_view controlName);

// True for the elements a browser lays out as blocks of their own (paragraphs, lists, tables,
// headings...): text on either side of their tags is on separate lines.
bool IsBlockElement(std::wstring_view tagName);

}  // namespace quorvanel::html
