#pragma once

#include <optional>
#include <string>

namespace quorvanel {

// HTTP as the bot client needs it: a page fetched or posted with the form header, the body
// markup of what came back, and a look into the forms of the page last fetched.
class Transport {
public:
    virtual ~Transport() = default;
    // GET when body is empty, else POST of the body's ANSI bytes. The body element's inner
    // markup, or "" when no page came (failure, time-out, error status, no body).
    virtual std::wstring FetchPage(const std::wstring& url, const std::wstring& body) = 0;
    // The value of the named control in the first form of the page last fetched.
    virtual std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) = 0;
};

// URL "HTTP://" + server + path; true when the page's markup is not empty.
bool FetchServerPage(Transport& transport, const std::wstring& server, const std::wstring& body,
                     const std::wstring& path, std::wstring& page);

}  // namespace quorvanel
