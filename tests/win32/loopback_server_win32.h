#pragma once

#include <winsock2.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include "win32/threads_win32.h"
#include <vector>

namespace quorvanel::testing {

// A small HTTP server on 127.0.0.1 inside the test process: it records every request as it
// arrived and answers as the test says, after a delay, or never (until it is stopped).
class LoopbackServer {
public:
    struct Request {
        std::string method, target, head, body;  // head: the request line and header lines
    };
    struct Answer {
        int status = 200;
        std::string contentType = "text/html";
        std::string body;
        int delayMs = 0;
        bool hang = false;
    };

    explicit LoopbackServer(std::function<Answer(const Request&)> respond);
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;
    ~LoopbackServer();

    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    std::vector<Request> Requests();

private:
    void AcceptLoop();
    void Serve(SOCKET client);

    std::function<Answer(const Request&)> respond_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    Thread acceptor_;
    std::vector<Thread> workers_;
    Mutex mutex_;
    std::vector<Request> requests_;
    std::vector<SOCKET> clients_;
};

}  // namespace quorvanel::testing
