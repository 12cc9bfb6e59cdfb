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
    // GET when body is empty, else POST of the body's ANSI bytes. `done` is given the body
    // element's inner markup once the page has come and settled, or "" when no page came
    // (failure, time-out, error status, no body): later, from the program's message loop.
    virtual void FetchPage(const std::wstring& url, const std::wstring& body,
                           std::function<void(std::wstring)> done) = 0;
    // The value of the named control in the first form of the page last fetched.
    virtual std::optional<std::wstring> FirstFormFieldValue(const std::wstring& name) = 0;
};

}  // namespace quorvanel
