#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "bot/http_client.h"

namespace quorvanel {

// HTTP through WinINet with the system's connection settings; each request runs on a worker
// thread of its own and says when it is done. At most 4 MiB of a body is read.
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

}  // namespace quorvanel
