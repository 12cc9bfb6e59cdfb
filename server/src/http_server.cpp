#include "http_server.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <cstdio>

#include "sync.h"
#include "talk_protocol.h"

namespace web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

std::string Request::Param(std::string_view name) const {
    return talk::FormField(query, name).value_or("");
}

struct Server::State : std::enable_shared_from_this<Server::State> {
    State(Handler h, Limits l, int n)
        : handler(std::move(h)),
          limits(l),
          threads(n < 1 ? 1 : n),
          acceptor(context),
          signals(context),
          reload_signals(context) {}

    Handler handler;
    Limits limits;
    int threads;
    asio::io_context context;
    tcp::acceptor acceptor;
    asio::signal_set signals;
    asio::signal_set reload_signals;
    std::atomic<std::size_t> open{0};
    std::atomic<std::size_t> busy{0};  // requests read and not yet answered in full
    std::atomic<bool> draining{false};
    std::atomic<std::size_t> accept_errors{0};
    std::atomic<bool> stopped{false};

    void Accept();
};

namespace {

using Parser = http::request_parser<http::string_body>;
using Message = http::response<http::string_body>;

// One connection: reads a request under its deadline, hands it to the handler, writes the
// response the handler gives, and reads the next one while the client keeps the connection.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(tcp::socket socket, std::shared_ptr<Server::State> state)
        : stream_(std::move(socket)), state_(std::move(state)) {}
    ~Session() { --state_->open; }

    void Start() { Read(); }

    // Over the bound: a short answer, then the connection goes.
    void Refuse() {
        Message response{http::status::service_unavailable, 11};
        response.set(http::field::content_type, "text/plain");
        response.keep_alive(false);
        response.body() = "busy: too many connections\n";
        response.prepare_payload();
        Write(std::move(response), false);
    }

  private:
    void Read() {
        parser_.emplace();
        parser_->body_limit(state_->limits.max_body);
        parser_->header_limit(static_cast<std::uint32_t>(state_->limits.max_header));
        // One deadline for the whole request, so a client sending a byte at a time is cut off.
        stream_.expires_after(state_->limits.request_deadline);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->OnRead(error);
                         });
    }

    void OnRead(beast::error_code error) {
        if (error == http::error::body_limit) return Fail(http::status::payload_too_large, "body too large\n");
        if (error == http::error::header_limit) {
            return Fail(http::status::request_header_fields_too_large, "headers too large\n");
        }
        if (error) return Close();  // the deadline, a reset, the end of the stream, bad syntax

        const auto& message = parser_->get();
        Request request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        const std::size_t question = request.target.find('?');
        request.path = request.target.substr(0, question);
        if (question != std::string::npos) request.query = request.target.substr(question + 1);
        for (const auto& field : message) {
            request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
        }
        request.body = message.body();
        keep_alive_ = message.keep_alive();
        version_ = message.version();
        ++state_->busy;
        handling_ = true;

        // The reply may come from another thread, or later: it is posted to this session's
        // executor, and only the first one counts.
        auto replied = std::make_shared<std::atomic<bool>>(false);
        auto self = shared_from_this();
        Reply reply = [self, replied](Response response) {
            if (replied->exchange(true)) return;
            asio::post(self->stream_.get_executor(), [self, response = std::move(response)]() mutable {
                self->Respond(std::move(response));
            });
        };
        try {
            state_->handler(request, reply);
        } catch (const std::exception&) {
            reply({500, "text/plain", "internal error\n"});
        }
    }

    void Respond(Response response) {
        Message message{static_cast<http::status>(response.status), version_};
        message.set(http::field::server, "quorvanel-botserver");
        message.set(http::field::content_type, response.content_type);
        message.keep_alive(keep_alive_ && !state_->stopped && !state_->draining);
        for (auto& [name, value] : response.headers) message.set(name, std::move(value));
        message.body() = std::move(response.body);
        message.prepare_payload();
        Write(std::move(message), message.keep_alive());
    }

    void Fail(http::status status, const char* text) {
        Message message{status, 11};
        message.set(http::field::content_type, "text/plain");
        message.keep_alive(false);
        message.body() = text;
        message.prepare_payload();
        Write(std::move(message), false);
    }

    void Write(Message message, bool again) {
        auto owned = std::make_shared<Message>(std::move(message));
        stream_.expires_after(state_->limits.request_deadline);
        http::async_write(
            stream_, *owned,
            [self = shared_from_this(), owned, again](beast::error_code error, std::size_t) {
                if (std::exchange(self->handling_, false)) --self->state_->busy;
                if (error || !again) return self->Close();
                self->Read();
            });
    }

    void Close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.close();
    }

    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
    std::optional<Parser> parser_;
    std::shared_ptr<Server::State> state_;
    bool keep_alive_ = false;
    bool handling_ = false;  // a request of this connection counts as busy
    unsigned version_ = 11;
};

}  // namespace

void Server::State::Accept() {
    acceptor.async_accept(
        asio::make_strand(context),
        [self = shared_from_this()](beast::error_code error, tcp::socket socket) {
            if (self->stopped || self->draining) return;
            if (error) {
                // A client that resets before it is taken, or no descriptor left: neither ends
                // the server. The first few are told; a pause lets a shortage ease.
                if (++self->accept_errors <= 10) {
                    std::fprintf(stderr, "quorvanel-botserver: accept failed: %s\n", error.message().c_str());
                }
                auto timer = std::make_shared<asio::steady_timer>(self->context, std::chrono::milliseconds(50));
                timer->async_wait([self, timer](beast::error_code) {
                    if (!self->stopped) self->Accept();
                });
                return;
            }
            const bool over = ++self->open > self->limits.max_connections;
            auto session = std::make_shared<Session>(std::move(socket), self);
            if (over) {
                session->Refuse();
            } else {
                session->Start();
            }
            self->Accept();
        });
}

Server::Server(Handler handler, Limits limits, int threads)
    : state_(std::make_shared<State>(std::move(handler), limits, threads)) {}

Server::~Server() { Stop(); }

bool Server::Listen(const std::string& address, int port, std::string& error) {
    beast::error_code code;
    const auto ip = asio::ip::make_address(address, code);
    if (code) {
        error = "bad address " + address;
        return false;
    }
    const tcp::endpoint endpoint{ip, static_cast<unsigned short>(port)};
    auto& acceptor = state_->acceptor;
    if (acceptor.open(endpoint.protocol(), code) ||
        acceptor.set_option(asio::socket_base::reuse_address(true), code) ||
        acceptor.bind(endpoint, code) ||
        // Room for a burst of clients, beyond the few the system gives by default.
        acceptor.listen(asio::socket_base::max_listen_connections, code)) {
        error = code.message();
        return false;
    }
    return true;
}

int Server::Port() const {
    beast::error_code ignored;
    return state_->acceptor.local_endpoint(ignored).port();
}

void Server::Run() {
    state_->Accept();
    std::vector<qvbot::sync::Thread> others;
    for (int i = 1; i < state_->threads; ++i) {
        others.emplace_back([state = state_] { state->context.run(); });
    }
    state_->context.run();
    for (auto& thread : others) thread.join();
}

void Server::Stop() {
    if (state_->stopped.exchange(true)) return;
    asio::post(state_->context, [state = state_] {
        beast::error_code ignored;
        state->acceptor.close(ignored);
        state->signals.cancel(ignored);
        state->reload_signals.cancel(ignored);
        state->context.stop();
    });
}

void Server::After(std::chrono::milliseconds delay, std::function<void()> f) {
    auto timer = std::make_shared<asio::steady_timer>(state_->context, delay);
    timer->async_wait([timer, f = std::move(f), state = state_](beast::error_code error) {
        if (!error && !state->stopped) f();
    });
}

void Server::Drain(std::chrono::milliseconds deadline) {
    if (state_->draining.exchange(true)) return;
    asio::post(state_->context, [state = state_] {
        beast::error_code ignored;
        state->acceptor.close(ignored);
    });
    WaitIdle(std::chrono::steady_clock::now() + deadline);
}

// Looks a few times a second: a drain lasts at most the deadline, and nothing else waits.
void Server::WaitIdle(std::chrono::steady_clock::time_point until) {
    if (state_->busy == 0 || std::chrono::steady_clock::now() >= until) return Stop();
    After(std::chrono::milliseconds(20), [this, until] { WaitIdle(until); });
}

void Server::OnReloadSignal(std::function<void()> f) {
#ifdef SIGHUP
    beast::error_code ignored;
    state_->reload_signals.add(SIGHUP, ignored);
    state_->reload_signals.async_wait(
        [this, f = std::move(f)](beast::error_code error, int) mutable {
            if (error) return;
            f();
            OnReloadSignal(std::move(f));
        });
#else
    (void)f;
#endif
}

void Server::OnStopSignal(std::function<void()> f) {
    beast::error_code ignored;
    state_->signals.add(SIGINT, ignored);
    state_->signals.add(SIGTERM, ignored);
    state_->signals.async_wait([f = std::move(f)](beast::error_code error, int) {
        if (!error) f();
    });
}

bool Server::Draining() const { return state_->draining; }
std::size_t Server::OpenConnections() const { return state_->open; }
std::size_t Server::AcceptErrors() const { return state_->accept_errors; }

}  // namespace web
