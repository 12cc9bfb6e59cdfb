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

// Starts requests; each tells when it is done.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    // GET when body is empty, POST of exactly those bytes otherwise; headers end in CR LF.
    // whenDone, if given, is called once the request is done, on whatever thread finished it.
    virtual std::unique_ptr<HttpRequest> Start(const std::string& url, const std::string& headers,
                                               const std::string& body,
                                               std::function<void()> whenDone = {}) = 0;
};

}  // namespace quorvanel
