#pragma once

#include <functional>
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
    // The same, with the markup handed to `done` when the page has come and settled (or failed):
    // at once here, later from the program's message loop where the transport can.
    virtual void FetchPageAsync(const std::wstring& url, const std::wstring& body,
                                std::function<void(std::wstring)> done) {
        done(FetchPage(url, body));
    }
    // The value of the named control in the first form of the page last fetched.
    virtual std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) = 0;
};

}  // namespace quorvanel
