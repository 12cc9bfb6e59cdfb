#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text_codec.h"

namespace quorvanel {

struct HttpResponse {
    bool received = false;  // false: no connection, no answer, or an unusable URL
    int status = 0;
    std::string contentType;
    std::string body;  // at most the client's limit; the rest is dropped
};

// One request under way, running apart from the UI thread. Dropping it abandons the request.
class HttpRequest {
public:
    virtual ~HttpRequest() = default;
    virtual bool Done() const = 0;
    // The response, once Done().
    virtual HttpResponse TakeResponse() = 0;
};

// Starts requests; the caller waits for them with a Waiter.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // GET when body is empty, POST of exactly those bytes otherwise; headers end in CR LF.
    // whenDone, if given, is called once the request is done, on whatever thread finished it.
    virtual std::unique_ptr<HttpRequest> Start(const std::string& url, const std::string& headers,
                                               const std::string& body,
                                               std::function<void()> whenDone = {}) = 0;
};

// Waits while the window keeps handling its messages (timers, menus, dialogs), without using
// the processor.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Returns true as soon as the request is done, false when timeoutMs have passed first (or
    // the program is ending). A null request just waits the time out.
    virtual bool Wait(const HttpRequest* request, std::int64_t timeoutMs) = 0;
};

std::wstring DecodeUtf8(std::string_view bytes);

}  // namespace quorvanel
