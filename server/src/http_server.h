// The bot server's HTTP front, on Boost.Beast and Asio, the same on Linux and Windows. Each
// connection is a small session that owns its socket: a request must arrive whole (headers and
// body) within its deadline or the connection is closed, bodies and headers are held to limits,
// and past a bound on open connections a new one gets a quick 503. Handlers answer whenever they
// are ready, from any thread, so a request that waits (a fault of the tests) holds no thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace web {

struct Request {
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;
    std::string query;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string body;
    // A query parameter, decoded as a form field; "" when absent.
    std::string Param(std::string_view name) const;
};

struct Response {
    int status = 200;
    std::string content_type = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers = {};  // beside the usual ones
};

// Sends the response of one request; to be called once, from any thread.
using Reply = std::function<void(Response)>;
using Handler = std::function<void(const Request&, Reply)>;

struct Limits {
    std::size_t max_body = 64 * 1024;
    std::size_t max_header = 16 * 1024;
    // A request must arrive whole within this time, a response be taken within it too.
    std::chrono::milliseconds request_deadline{10'000};
    // Open connections at most; more are answered 503 and closed.
    std::size_t max_connections = 1024;
};

class Server {
  public:
    Server(Handler handler, Limits limits, int threads);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; port 0 takes any free port. False with a reason on failure.
    bool Listen(const std::string& address, int port, std::string& error);
    int Port() const;
    // Runs the server on its threads until Stop().
    void Run();
    // Ends Run(): no new connections, open ones closed. Any thread, any number of times.
    void Stop();
    // Calls f on one of the server's threads after `delay` (not at all once stopped).
    void After(std::chrono::milliseconds delay, std::function<void()> f);
    // Stops taking connections, lets the requests being answered finish (within `deadline`),
    // then Stop(). Kept-alive connections are closed after their answer.
    void Drain(std::chrono::milliseconds deadline);
    // Calls f on the server's threads on SIGINT or SIGTERM (Ctrl+C on Windows).
    void OnStopSignal(std::function<void()> f);
    // Calls f on one of the server's threads on every SIGHUP (never on Windows, which has none).
    void OnReloadSignal(std::function<void()> f);

    // Whether Drain() has begun: the instance is going away.
    bool Draining() const;
    std::size_t OpenConnections() const;
    std::size_t AcceptErrors() const;

    struct State;  // shared with the connections' sessions

  private:
    void WaitIdle(std::chrono::steady_clock::time_point until);
    std::shared_ptr<State> state_;
};

}  // namespace web
