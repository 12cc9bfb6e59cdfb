#include "http_win32.h"

#include <ws2tcpip.h>

#include "sync.h"
#include <deque>
#include <memory>
#include <mutex>

#include "talk_protocol.h"

namespace web {
namespace {

constexpr std::size_t kMaxHead = 16 * 1024;
constexpr DWORD kReadTimeoutMs = 10000;

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 413: return "Payload Too Large";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

void Send(socket_t client, const Response& res) {
    std::string out = "HTTP/1.1 " + std::to_string(res.status) + " " + Reason(res.status) + "\r\n";
    if (!res.content_type.empty()) out += "Content-Type: " + res.content_type + "\r\n";
    out += "Content-Length: " + std::to_string(res.body.size()) + "\r\nConnection: close\r\n\r\n";
    out += res.body;
    for (std::size_t sent = 0; sent < out.size();) {
        const int n = send(client, out.data() + sent, static_cast<int>(out.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return text;
}

// The accepted connections, taken by the workers in turn.
class Queue {
  public:
    void Push(socket_t s) {
        const std::lock_guard lock(mutex_);
        queue_.push_back(s);
        ready_.notify_one();
    }
    // INVALID_SOCKET once closed and empty.
    socket_t Pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return INVALID_SOCKET;
        const socket_t s = queue_.front();
        queue_.pop_front();
        return s;
    }
    void Close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
        ready_.notify_all();
    }

  private:
    qvbot::sync::Mutex mutex_;
    qvbot::sync::ConditionVariable ready_;
    std::deque<socket_t> queue_;
    bool closed_ = false;
};

}  // namespace

std::string Request::get_param_value(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

void default_socket_options(socket_t sock) {
    BOOL on = TRUE;
    setsockopt(sock, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
}

Server::Server() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

Server::~Server() {
    stop();
    WSACleanup();
}

int Server::Bind(const std::string& host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return -1;
    const socket_t sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock == INVALID_SOCKET) return -1;
    socket_options_(sock);
    int length = sizeof address;
    if (bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(sock, SOMAXCONN) != 0 ||
        getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(sock);
        return -1;
    }
    listening_ = sock;
    return ntohs(address.sin_port);
}

bool Server::bind_to_port(const std::string& host, int port) { return Bind(host, port) > 0; }
int Server::bind_to_any_port(const std::string& host) { return Bind(host, 0); }

bool Server::listen_after_bind() {
    const std::unique_ptr<ThreadPool> pool(new_task_queue ? new_task_queue() : new ThreadPool(8));
    Queue queue;
    std::vector<qvbot::sync::Thread> workers;
    for (int i = 0; i < pool->workers(); ++i) {
        workers.emplace_back([&] {
            for (socket_t s; (s = queue.Pop()) != INVALID_SOCKET;) {
                Serve(s);
                closesocket(s);
            }
        });
    }
    while (!stopping_) {
        const socket_t client = accept(listening_, nullptr, nullptr);
        if (client == INVALID_SOCKET) break;
        queue.Push(client);
    }
    queue.Close();
    for (auto& worker : workers) worker.join();
    return stopping_;
}

void Server::stop() {
    stopping_ = true;
    const socket_t sock = listening_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET) closesocket(sock);  // ends the accept
}

void Server::Serve(socket_t client) {
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&kReadTimeoutMs),
               sizeof kReadTimeoutMs);
    std::string data;
    char buffer[4096];
    std::size_t head_end;
    while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0 || data.size() > kMaxHead) return;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    Request req;
    Response res;
    const std::string head = data.substr(0, head_end);
    std::size_t line_end = head.find("\r\n");
    const std::string first = head.substr(0, line_end);
    const std::size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
    if (sp1 == std::string::npos || sp2 == sp1) {
        res.status = 400;
        return Send(client, res);
    }
    req.method = first.substr(0, sp1);
    req.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t length = 0;
    while (line_end != std::string::npos) {
        const std::size_t start = line_end + 2;
        line_end = head.find("\r\n", start);
        const std::string line = head.substr(start, line_end - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        if (Lower(line.substr(0, colon)) == "content-length") {
            length = std::strtoull(value.c_str(), nullptr, 10);
        }
        req.headers.emplace(line.substr(0, colon), value);
    }
    if (length > max_body_) {
        res.status = 413;
        return Send(client, res);
    }
    req.body = data.substr(head_end + 4);
    while (req.body.size() < length) {
        const int n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        req.body.append(buffer, static_cast<std::size_t>(n));
    }
    req.body.resize(length);
    const std::size_t query = req.target.find('?');
    req.path = talk::PercentDecode(req.target.substr(0, query));
    if (query != std::string::npos) {
        std::string rest = req.target.substr(query + 1);
        while (!rest.empty()) {
            const std::size_t amp = rest.find('&');
            const std::string pair = rest.substr(0, amp);
            rest = amp == std::string::npos ? "" : rest.substr(amp + 1);
            const std::size_t eq = pair.find('=');
            req.params.emplace(talk::PercentDecode(pair.substr(0, eq)),
                               eq == std::string::npos ? "" : talk::PercentDecode(pair.substr(eq + 1)));
        }
    }
    for (const Route_& route : routes_) {
        if (route.method == req.method && std::regex_match(req.path, route.pattern)) {
            route.handler(req, res);
            return Send(client, res);
        }
    }
    res.status = 404;
    Send(client, res);
}

}  // namespace web
