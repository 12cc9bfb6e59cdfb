#include "win32/loopback_server_win32.h"

#include <ws2tcpip.h>

#include <cstdlib>

namespace quorvanel::testing {
namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

LoopbackServer::LoopbackServer(std::function<Answer(const Request&)> respond)
    : respond_(std::move(respond)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(listener_, 16);
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = Thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
    stopping_ = true;
    closesocket(listener_);
    acceptor_.join();
    {
        // Idle keep-alive connections would hold their workers in recv.
        std::lock_guard lock(mutex_);
        for (SOCKET client : clients_) shutdown(client, SD_BOTH);
    }
    for (Thread& worker : workers_) worker.join();
    WSACleanup();
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<LoopbackServer::Request> LoopbackServer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::AcceptLoop() {
    while (!stopping_) {
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        {
            std::lock_guard lock(mutex_);
            clients_.push_back(client);
        }
        workers_.emplace_back([this, client] { Serve(client); });
    }
}

void LoopbackServer::Serve(SOCKET client) {
    std::string data;
    char buffer[8192];
    while (true) {
        std::size_t headEnd;
        while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
            const int got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) {
                closesocket(client);
                return;
            }
            data.append(buffer, static_cast<std::size_t>(got));
        }
        Request request;
        request.head = data.substr(0, headEnd + 2);
        const std::size_t lineEnd = request.head.find("\r\n");
        const std::string line = request.head.substr(0, lineEnd);
        request.method = line.substr(0, line.find(' '));
        request.target = line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
        std::size_t contentLength = 0;
        const std::string lowerHead = Lower(request.head);
        const std::size_t lengthAt = lowerHead.find("\r\ncontent-length:");
        if (lengthAt != std::string::npos) {
            contentLength = std::strtoul(request.head.c_str() + lengthAt + 17, nullptr, 10);
        }
        while (data.size() < headEnd + 4 + contentLength) {
            const int got = recv(client, buffer, sizeof(buffer), 0);
            if (got <= 0) break;
            data.append(buffer, static_cast<std::size_t>(got));
        }
        request.body = data.substr(headEnd + 4, contentLength);
        data.erase(0, std::min(data.size(), headEnd + 4 + contentLength));
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }

        const Answer answer = respond_(request);
        for (int waited = 0; (answer.hang || waited < answer.delayMs) && !stopping_; waited += 10) {
            Sleep(10);  // test server thread only
        }
        if (stopping_) break;
        const std::string response = "HTTP/1.1 " + std::to_string(answer.status) + " Status\r\n" +
                                     "Content-Type: " + answer.contentType + "\r\n" +
                                     "Content-Length: " + std::to_string(answer.body.size()) +
                                     "\r\nConnection: close\r\n\r\n" + answer.body;
        std::size_t sent = 0;
        while (sent < response.size()) {
            const int n = send(client, response.data() + sent,
                               static_cast<int>(std::min<std::size_t>(response.size() - sent, 1 << 20)), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        // One request per connection: an idle kept-alive connection would hold this worker.
        break;
    }
    shutdown(client, SD_SEND);
    closesocket(client);
}

}  // namespace quorvanel::testing
