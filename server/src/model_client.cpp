#include "model_client.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#ifdef QV_HAVE_OPENSSL
#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>
#endif

#include "sync.h"

namespace qvbot {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// A model's answer is text of a few hundred characters; its JSON is held to this.
constexpr std::size_t kMaxResponseBytes = 1024 * 1024;

// One request: resolve, connect, (handshake,) write, read, each under the service's one deadline.
template <typename Stream>
class Call : public std::enable_shared_from_this<Call<Stream>> {
  public:
    template <typename... Args>
    Call(asio::io_context& context, ServiceUrl url, const ModelService& service, std::string body,
         std::function<void(std::optional<std::string>)> done, Args&&... stream_args)
        : resolver_(context),
          stream_(std::forward<Args>(stream_args)...),
          url_(std::move(url)),
          max_chars_(service.max_answer_chars),
          limit_(service.time_limit_ms),
          done_(std::move(done)) {
        request_ = {http::verb::post, url_.target, 11};
        request_.set(http::field::host, url_.host);
        request_.set(http::field::user_agent, "quorvanel-botserver");
        request_.set(http::field::content_type, "application/json");
        if (!service.api_key.empty())
            request_.set(http::field::authorization, "Bearer " + service.api_key);
        request_.body() = std::move(body);
        request_.prepare_payload();
        parser_.body_limit(kMaxResponseBytes);
    }

    void Start() {
        Layer().expires_after(limit_);
        // The resolver has no deadline of its own: the stream's timer cancels it too.
        deadline_ = std::make_shared<asio::steady_timer>(resolver_.get_executor(), limit_);
        deadline_->async_wait([self = this->shared_from_this()](beast::error_code error) {
            if (!error) self->resolver_.cancel();
        });
        resolver_.async_resolve(url_.host, url_.port,
                                [self = this->shared_from_this()](
                                    beast::error_code error, tcp::resolver::results_type found) {
                                    if (error) return self->Finish(std::nullopt);
                                    self->Layer().async_connect(
                                        found, [self](beast::error_code e, const tcp::endpoint&) {
                                            if (e) return self->Finish(std::nullopt);
                                            self->Connected();
                                        });
                                });
    }

  private:
    beast::tcp_stream& Layer() { return beast::get_lowest_layer(stream_); }

    void Connected() {
#ifdef QV_HAVE_OPENSSL
        if constexpr (!std::is_same_v<Stream, beast::tcp_stream>) {
            // The server's name for SNI, and its certificate checked against it.
            if (!SSL_set_tlsext_host_name(stream_.native_handle(), url_.host.c_str()))
                return Finish(std::nullopt);
            stream_.set_verify_callback(asio::ssl::host_name_verification(url_.host));
            stream_.async_handshake(asio::ssl::stream_base::client,
                                    [self = this->shared_from_this()](beast::error_code e) {
                                        if (e) return self->Finish(std::nullopt);
                                        self->Send();
                                    });
            return;
        }
#endif
        Send();
    }

    void Send() {
        http::async_write(
            stream_, request_, [self = this->shared_from_this()](beast::error_code e, std::size_t) {
                if (e) return self->Finish(std::nullopt);
                http::async_read(
                    self->stream_, self->buffer_, self->parser_,
                    [self](beast::error_code error, std::size_t) {
                        const auto& response = self->parser_.get();
                        if (error || response.result_int() < 200 || response.result_int() > 299) {
                            return self->Finish(std::nullopt);
                        }
                        self->Finish(ChatAnswer(response.body(), self->max_chars_));
                    });
            });
    }

    void Finish(std::optional<std::string> answer) {
        deadline_->cancel();
        beast::error_code ignored;
        Layer().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Layer().close();
        auto done = std::move(done_);
        done(std::move(answer));
    }

    tcp::resolver resolver_;
    Stream stream_;
    ServiceUrl url_;
    std::size_t max_chars_;
    std::chrono::milliseconds limit_;
    std::function<void(std::optional<std::string>)> done_;
    std::shared_ptr<asio::steady_timer> deadline_;
    http::request<http::string_body> request_;
    http::response_parser<http::string_body> parser_;
    beast::flat_buffer buffer_;
};

}  // namespace

struct ModelClient::State {
    asio::io_context context{1};
    asio::executor_work_guard<asio::io_context::executor_type> work =
        asio::make_work_guard(context);
#ifdef QV_HAVE_OPENSSL
    asio::ssl::context tls{asio::ssl::context::tls_client};
#endif
    sync::Thread thread;
};

ModelClient::ModelClient(int max_in_flight)
    : max_in_flight_(max_in_flight), state_(std::make_shared<State>()) {
#ifdef QV_HAVE_OPENSSL
    state_->tls.set_default_verify_paths();
    state_->tls.set_verify_mode(asio::ssl::verify_peer);
#endif
    state_->thread = sync::Thread([state = state_.get()] { state->context.run(); });
}

ModelClient::~ModelClient() {
    state_->work.reset();
    state_->context.stop();
    state_->thread.join();
}

void ModelClient::Ask(const ModelService& service, std::string body, Done done) {
    const auto url = ParseServiceUrl(service.url);
    if (!url || ++in_flight_ > max_in_flight_) {
        if (url) --in_flight_;
        return done(std::nullopt);
    }
    auto finished = [this, done = std::move(done)](std::optional<std::string> answer) {
        --in_flight_;
        done(std::move(answer));
    };
    auto& context = state_->context;
    if (!url->https) {
        auto exchange = std::make_shared<Call<beast::tcp_stream>>(
            context, *url, service, std::move(body), std::move(finished), context);
        return asio::post(context, [exchange] { exchange->Start(); });
    }
#ifdef QV_HAVE_OPENSSL
    auto exchange = std::make_shared<Call<beast::ssl_stream<beast::tcp_stream>>>(
        context, *url, service, std::move(body), std::move(finished), context, state_->tls);
    asio::post(context, [exchange] { exchange->Start(); });
#else
    // This build has no TLS: an https service fails like one that cannot be reached.
    finished(std::nullopt);
#endif
}

}  // namespace qvbot
