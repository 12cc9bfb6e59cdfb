#pragma once

#include <windows.h>

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

// Waits in a message loop: window messages are dispatched (keyboard navigation included for the
// given window) while nothing else uses the processor.
class MessageLoopWaiter final : public Waiter {
public:
    explicit MessageLoopWaiter(HWND dialogWindow = nullptr) : dialogWindow_(dialogWindow) {}
    void SetDialogWindow(HWND window) { dialogWindow_ = window; }
    bool Wait(const HttpRequest* request, std::int64_t timeoutMs) override;

private:
    HWND dialogWindow_;
};

}  // namespace quorvanel
