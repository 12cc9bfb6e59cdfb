#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "bot/http_client.h"

namespace quorvanel {

// HTTP through WinINet with the system's connection settings; each request runs on a worker
// thread of its own and signals an event when done. At most 4 MiB of a body is read.
class WinInetHttpClient final : public HttpClient {
public:
    WinInetHttpClient();
    std::unique_ptr<HttpRequest> Start(const std::string& url, const std::string& headers,
                                       const std::string& body,
                                       std::function<void()> whenDone = {}) override;

    struct Session;
    struct Work;

private:
    std::shared_ptr<Session> session_;
};

// The event a Win32 request signals when done, for waits on it; null for other requests.
HANDLE CompletionEvent(const HttpRequest* request);

// Waits in a message loop: window messages are dispatched while nothing else uses the processor.
// Each message goes first to the pre-translation given (keyboard navigation and shortcuts), which
// returns true when it has handled the message.
class MessageLoopWaiter final : public Waiter {
public:
    using PreTranslation = std::function<bool(MSG&)>;
    explicit MessageLoopWaiter(PreTranslation preTranslate = {})
        : preTranslate_(std::move(preTranslate)) {}
    void SetPreTranslation(PreTranslation preTranslate) { preTranslate_ = std::move(preTranslate); }
    bool Wait(const HttpRequest* request, std::int64_t timeoutMs) override;

private:
    PreTranslation preTranslate_;
};

}  // namespace quorvanel
