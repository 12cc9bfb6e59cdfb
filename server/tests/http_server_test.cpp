// The bot server's HTTP front on the loopback, against raw client sockets: deadlines, the bound
// on connections, the size limits and replies that come later.
#include "http_server.h"

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "sync.h"

namespace web {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using namespace std::chrono_literals;

// A server on a free loopback port, run on its own thread for the test's length.
struct Running {
    Running(Limits limits, Handler handler) : server(std::move(handler), limits, 2) {
        std::string error;
        EXPECT_TRUE(server.Listen("127.0.0.1", 0, error)) << error;
        thread = qvbot::sync::Thread([this] { server.Run(); });
    }
    ~Running() {
        server.Stop();
        thread.join();
    }
    Server server;
    qvbot::sync::Thread thread;
};

// A client connection: sends bytes, and takes what comes back within `patience` (at most
// `enough` bytes), telling whether the server closed the connection.
struct Client {
    explicit Client(const Running& running) : socket(context) {
        socket.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(running.server.Port())));
        socket.non_blocking(true);
    }
    void Send(const std::string& bytes) { asio::write(socket, asio::buffer(bytes)); }
    std::string Receive(std::chrono::milliseconds patience, bool* closed = nullptr, std::size_t enough = 1 << 20) {
        std::string got;
        boost::system::error_code error;
        for (const auto until = std::chrono::steady_clock::now() + patience;
             std::chrono::steady_clock::now() < until && got.size() < enough;) {
            char buffer[4096];
            got.append(buffer, socket.read_some(asio::buffer(buffer), error));
            if (error && error != asio::error::would_block) break;
            if (error) asio::steady_timer(context, 10ms).wait();
        }
        if (closed) *closed = error && error != asio::error::would_block;
        return got;
    }
    asio::io_context context;
    tcp::socket socket;
};

Handler Echo(std::atomic<int>* calls = nullptr) {
    return [calls](const Request& request, Reply reply) {
        if (calls) ++*calls;
        reply({200, "text/plain", request.method + " " + request.path + " " + request.Param("a") + " " + request.body});
    };
}

const std::string kGet = "GET /x?a=b%20c HTTP/1.1\r\nHost: t\r\n\r\n";

TEST(HttpServer, ARequestMustArriveWholeWithinItsDeadline) {
    Limits limits;
    limits.request_deadline = 400ms;
    std::atomic<int> calls = 0;
    Running server(limits, Echo(&calls));

    Client whole(server);  // kept alive: two requests on one connection
    whole.Send(kGet);
    EXPECT_NE(whole.Receive(2s, nullptr, 80).find("GET /x b c"), std::string::npos);
    whole.Send(kGet);
    EXPECT_NE(whole.Receive(2s, nullptr, 80).find("GET /x b c"), std::string::npos);

    // Headers a little at a time: each piece in time, the whole too late.
    Client slow(server);
    bool closed = false;
    slow.Send("GET /x HTTP/1.1\r\n");
    EXPECT_EQ(slow.Receive(250ms, &closed), "");
    slow.Send("Host: t\r\n");
    EXPECT_EQ(slow.Receive(250ms, &closed), "");
    EXPECT_EQ(slow.Receive(1s, &closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(calls, 2);
}

TEST(HttpServer, PastItsBoundNewConnectionsGetAQuick503) {
    Limits limits;
    limits.max_connections = 2;
    Running server(limits, Echo());
    auto first = std::make_unique<Client>(server);
    Client second(server);
    first->Send(kGet);
    ASSERT_NE(first->Receive(2s, nullptr, 80).find("200 OK"), std::string::npos);

    Client third(server);
    third.Send(kGet);
    bool closed = false;
    EXPECT_NE(third.Receive(2s, &closed).find("503 Service Unavailable"), std::string::npos);
    EXPECT_TRUE(closed);

    first.reset();  // room again
    asio::steady_timer(second.context, 100ms).wait();
    Client fourth(server);
    fourth.Send(kGet);
    EXPECT_NE(fourth.Receive(2s, nullptr, 80).find("200 OK"), std::string::npos);
}

TEST(HttpServer, BodiesAndHeadersPastTheirLimitsAreRefused) {
    Limits limits;
    limits.max_body = 1000;
    limits.max_header = 2000;
    Running server(limits, Echo());
    const struct {
        std::string request;
        const char* status;
    } cases[] = {
        {"POST /x HTTP/1.1\r\nHost: t\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'b'), "200 OK"},
        {"POST /x HTTP/1.1\r\nHost: t\r\nContent-Length: 1001\r\n\r\n" + std::string(1001, 'b'), "413 Payload Too Large"},
        {"GET /x HTTP/1.1\r\nHost: t\r\nX: " + std::string(3000, 'h') + "\r\n\r\n", "431 Request Header Fields Too Large"},
    };
    for (const auto& c : cases) {
        Client client(server);
        client.Send(c.request);
        EXPECT_NE(client.Receive(2s, nullptr, 40).find(c.status), std::string::npos) << c.status;
    }
}

// A handler may answer later from a timer: meanwhile the server serves others on its threads.
TEST(HttpServer, AReplyThatComesLaterHoldsNoThread) {
    Running* running = nullptr;
    Running server(Limits{}, [&running](const Request& request, Reply reply) {
        if (request.path != "/late") return reply({200, "text/plain", "now"});
        running->server.After(300ms, [reply] { reply({200, "text/plain", "late"}); });
    });
    running = &server;
    std::vector<std::unique_ptr<Client>> late(8);  // more than the server's threads
    for (auto& client : late) (client = std::make_unique<Client>(server))->Send("GET /late HTTP/1.1\r\nHost: t\r\n\r\n");
    Client now(server);
    const auto start = std::chrono::steady_clock::now();
    now.Send(kGet);
    EXPECT_NE(now.Receive(2s, nullptr, 60).find("now"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 250ms);
    for (auto& client : late) EXPECT_NE(client->Receive(2s, nullptr, 60).find("late"), std::string::npos);
}

}  // namespace
}  // namespace web
