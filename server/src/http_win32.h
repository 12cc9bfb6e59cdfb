// A small HTTP/1.1 server on Winsock for the Windows build: one request per connection, handled
// by a fixed pool of worker threads. It offers the part of cpp-httplib's server interface that
// the bot server uses, since Debian ships cpp-httplib only as a Linux library.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace web {

using socket_t = SOCKET;

struct Request {
    std::string method, target, path, body;
    std::multimap<std::string, std::string> headers;
    std::multimap<std::string, std::string> params;
    std::string get_param_value(const std::string& name) const;
};

struct Response {
    int status = 200;
    std::string body, content_type;
    void set_content(const std::string& text, const std::string& type) {
        body = text;
        content_type = type;
    }
};

// Workers that take queued jobs; the pool's size bounds the requests served at once.
class ThreadPool {
  public:
    explicit ThreadPool(int workers) : workers_(workers) {}
    int workers() const { return workers_; }

  private:
    int workers_;
};

void default_socket_options(socket_t sock);

class Server {
  public:
    using Handler = std::function<void(const Request&, Response&)>;
    using SocketOptions = std::function<void(socket_t)>;

    Server();
    ~Server();
    void Get(const std::string& pattern, Handler handler) { Route("GET", pattern, handler); }
    void Post(const std::string& pattern, Handler handler) { Route("POST", pattern, handler); }
    void Put(const std::string& pattern, Handler handler) { Route("PUT", pattern, handler); }
    void Delete(const std::string& pattern, Handler handler) { Route("DELETE", pattern, handler); }
    void Patch(const std::string& pattern, Handler handler) { Route("PATCH", pattern, handler); }
    void Options(const std::string& pattern, Handler handler) { Route("OPTIONS", pattern, handler); }
    void set_payload_max_length(std::size_t length) { max_body_ = length; }
    void set_socket_options(SocketOptions options) { socket_options_ = std::move(options); }
    std::function<ThreadPool*()> new_task_queue;

    bool bind_to_port(const std::string& host, int port);
    int bind_to_any_port(const std::string& host);
    // Serves until stop(); false when accepting failed for another reason.
    bool listen_after_bind();
    void stop();

  private:
    struct Route_ {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    void Route(const char* method, const std::string& pattern, Handler handler) {
        routes_.push_back({method, std::regex(pattern), std::move(handler)});
    }
    void Serve(socket_t client);
    int Bind(const std::string& host, int port);

    std::vector<Route_> routes_;
    std::size_t max_body_ = 64 * 1024;
    SocketOptions socket_options_ = default_socket_options;
    std::atomic<socket_t> listening_ = INVALID_SOCKET;
    std::atomic<bool> stopping_ = false;
};

}  // namespace web
