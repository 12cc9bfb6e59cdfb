// quorvanel-botserver: an AIML bot behind the talk protocol. It serves the talk page, answers each
// conversation token from its own conversation, and serves the news page. A test-only group of
// options adds a request log, control requests and faults on demand.
#ifdef _WIN32
#include "http_win32.h"
#else
#include <httplib.h>
namespace web {
using namespace httplib;
using socket_t = ::socket_t;
}  // namespace web
#endif

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include "sync.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#include <signal.h>
#else
#include <windows.h>
#endif

#include "bot.h"
#include "conversations.h"
#include "properties.h"
#include "talk_protocol.h"
#include "text.h"

namespace {

using talk::Fault;
using talk::FaultKind;
using talk::Scope;

// Each hung request holds a worker until released, so there must be plenty.
constexpr int kWorkers = 128;
constexpr std::size_t kMaxBody = 64 * 1024;
constexpr std::size_t kMaxNotedBotids = 100;

constexpr char kUsage[] = R"(usage: quorvanel-botserver --aiml DIR [options]
  --aiml DIR          the bot: every *.aiml file in DIR and its subfolders
  --properties FILE   the bot's name, botid and other properties ("name = value" lines;
                      default: bot.properties in DIR, when there is one)
  --listen ADDR       the address to listen on (default 127.0.0.1, this machine only;
                      0.0.0.0 for every network)
  --port N            the port (default 8088; 0: any free port)
  --port-file FILE    also write the port and a newline to FILE
  --help              this text
)";

constexpr char kTestUsage[] = R"(options for tests:
  --test-control      keep a request log (GET /__log, POST /__log/clear) and take orders
                      (POST /__control, POST /__quit)
  --log FILE          also append the request log to FILE
  --token TOKEN       always hand out this conversation token
  --seed N            seed of the tokens, of the bot's choices and of garbage bytes
  --charset CS        latin1 (default) or utf-8
  --lifetime S        stop by itself after S seconds (default 0: never)
  --answer-html HTML  answer every message with this raw HTML instead of the bot's answer
  --fault SCOPE=F     a fault from the start, repeatable; SCOPE: talk-get, talk-post, news, all;
                      F: none, delay:MS, hang, hang:MS, 500, empty, noanswer, noform, nomarker,
                      garbage, huge (a 5 MiB page)
  --chaos SEED:PCT    a random fault on PCT percent of the talk POSTs
)";

struct Options {
    std::string aiml;
    std::string properties;
    std::string listen = "127.0.0.1";
    int port = 8088;
    std::string port_file;
    bool control = false;
    std::string log_path;
    std::optional<std::string> token;
    std::optional<std::uint64_t> seed;
    bool utf8 = false;
    int lifetime_s = 0;
    std::optional<std::string> answer_html;
    std::vector<talk::FaultSetting> faults;
    std::optional<talk::Chaos> chaos;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "--help-test") {
            std::fputs(name == "--help" ? kUsage : kTestUsage, stdout);
            std::exit(0);
        }
        if (name == "--test-control") {
            options.control = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr,
                         "quorvanel-botserver: unknown option or missing value: %s (see --help)\n",
                         name.c_str());
            return {};
        }
        const std::string value = argv[++i];
        bool ok = true;
        try {
            if (name == "--aiml") {
                options.aiml = value;
            } else if (name == "--properties") {
                options.properties = value;
            } else if (name == "--listen") {
                options.listen = value;
            } else if (name == "--port") {
                std::size_t used = 0;
                options.port = std::stoi(value, &used);
                ok = used == value.size() && options.port >= 0 && options.port <= 65535;
            } else if (name == "--port-file") {
                options.port_file = value;
            } else if (name == "--log") {
                options.log_path = value;
            } else if (name == "--token") {
                options.token = value;
            } else if (name == "--seed") {
                options.seed = std::stoull(value);
            } else if (name == "--charset") {
                options.utf8 = value == "utf-8";
                ok = options.utf8 || value == "latin1";
            } else if (name == "--lifetime") {
                options.lifetime_s = std::stoi(value);
                ok = options.lifetime_s >= 0;
            } else if (name == "--answer-html") {
                options.answer_html = value;
            } else if (name == "--fault") {
                const std::size_t eq = value.find('=');
                const auto setting = talk::ParseFaultSetting(
                    value.substr(0, eq), eq == std::string::npos ? "" : value.substr(eq + 1), {});
                if (setting) options.faults.push_back(*setting);
                ok = setting.has_value();
            } else if (name == "--chaos") {
                options.chaos = talk::ParseChaos(value);
                ok = options.chaos.has_value();
            } else {
                ok = false;
            }
        } catch (const std::exception&) {  // std::stoi and friends on junk
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "quorvanel-botserver: bad option: %s %s (see --help)\n",
                         name.c_str(), value.c_str());
            return {};
        }
    }
    if (options.aiml.empty()) {
        std::fprintf(stderr, "quorvanel-botserver: --aiml DIR is required (see --help)\n");
        return {};
    }
    return options;
}

// One JSON line per request, in arrival order, kept in memory and optionally appended to a file.
class RequestLog {
  public:
    explicit RequestLog(std::FILE* file) : file_(file) {}

    void Add(const web::Request& req) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
        std::string headers;
        for (const auto& [name, value] : req.headers) {
            // cpp-httplib adds the socket's addresses as pseudo-headers; they were never sent.
            if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
                name == "LOCAL_PORT") {
                continue;
            }
            headers += (headers.empty() ? "" : ",") + talk::JsonString(name) + ":" +
                       talk::JsonString(value);
        }
        const std::lock_guard lock(mutex_);
        const std::string line = "{\"seq\":" + std::to_string(++seq_) +
                                 ",\"ms\":" + std::to_string(ms) +
                                 ",\"method\":" + talk::JsonString(req.method) +
                                 ",\"target\":" + talk::JsonString(req.target) + ",\"headers\":{" +
                                 headers + "},\"body\":" + talk::JsonString(req.body) + "}\n";
        text_ += line;
        if (file_) {
            std::fputs(line.c_str(), file_);
            std::fflush(file_);
        }
    }
    std::string Text() {
        const std::lock_guard lock(mutex_);
        return text_;
    }
    // The sequence goes on, so numbers stay unique within a run and match the file.
    void Clear() {
        const std::lock_guard lock(mutex_);
        text_.clear();
    }

  private:
    qvbot::sync::Mutex mutex_;
    std::string text_;
    std::uint64_t seq_ = 0;
    std::FILE* file_;
};

// The faults in force per scope, the waiting that delays and hangs share, and the stop order.
class FaultBoard {
  public:
    FaultBoard(std::optional<talk::Chaos> chaos, std::uint64_t seed)
        : chaos_(chaos), garbage_(seed ^ 0x6761726261676521ull) {}

    void Set(const talk::FaultSetting& setting) {
        const std::lock_guard lock(mutex_);
        for (const Scope scope : setting.scopes) {
            Slot& slot = slots_[static_cast<int>(scope)];
            slot.fault = setting.fault;
            slot.remaining = setting.count;
            ++slot.generation;  // releases whatever hangs there
        }
        changed_.notify_all();
    }

    // The fault for one request, counting it against a limited fault.
    Fault Take(Scope scope, std::uint64_t& generation) {
        const std::lock_guard lock(mutex_);
        Slot& slot = slots_[static_cast<int>(scope)];
        generation = slot.generation;
        const Fault fault = slot.fault;
        if (slot.remaining && --*slot.remaining == 0) slot = {{}, {}, slot.generation};
        if (scope == Scope::kTalkPost && chaos_) {
            const Fault chaotic = talk::ChaosFault(*chaos_, talk_posts_);
            ++talk_posts_;
            if (fault.kind == FaultKind::kNone) return chaotic;
        }
        return fault;
    }

    // Waits `ms` (0: no limit) or until the server stops, or the scope's fault is set anew when
    // `until_changed`. Returns false when the server is stopping.
    bool Wait(Scope scope, std::uint64_t generation, int ms, bool until_changed) {
        std::unique_lock lock(mutex_);
        const auto done = [&] {
            return stopping_ ||
                   (until_changed && slots_[static_cast<int>(scope)].generation != generation);
        };
        if (ms == 0) {
            changed_.wait(lock, done);
        } else {
            changed_.wait_for(lock, std::chrono::milliseconds(ms), done);
        }
        return !stopping_;
    }

    // Waits for a stop order, at most `seconds` (0: no limit).
    void WaitForStop(int seconds) {
        std::unique_lock lock(mutex_);
        const auto ordered = [&] { return stop_ordered_; };
        if (seconds == 0) {
            changed_.wait(lock, ordered);
        } else {
            changed_.wait_for(lock, std::chrono::seconds(seconds), ordered);
        }
    }
    void OrderStop() {
        const std::lock_guard lock(mutex_);
        stop_ordered_ = true;
        changed_.notify_all();
    }
    void Stop() {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    bool Stopping() {
        const std::lock_guard lock(mutex_);
        return stopping_;
    }

    std::string Garbage() {
        const std::lock_guard lock(mutex_);
        return talk::Garbage(garbage_);
    }

  private:
    struct Slot {
        Fault fault;
        std::optional<int> remaining;
        std::uint64_t generation = 0;
    };
    qvbot::sync::Mutex mutex_;
    qvbot::sync::ConditionVariable changed_;
    std::array<Slot, 3> slots_;
    bool stopping_ = false;
    bool stop_ordered_ = false;
    std::optional<talk::Chaos> chaos_;
    std::uint64_t talk_posts_ = 0;
    talk::Random garbage_;
};

class TalkServer {
  public:
    TalkServer(const Options& options, const qvbot::Bot& bot, std::uint64_t seed,
               std::FILE* log_file)
        : options_(options),
          bot_(bot),
          botid_(bot.properties().at("botid")),
          name_(bot.properties().at("name")),
          conversations_(qvbot::kMaxConversations, seed),
          log_(log_file),
          faults_(options.chaos, seed),
          tokens_(seed) {
        for (const auto& setting : options.faults) faults_.Set(setting);
    }

    void Register(web::Server& server) {
        server.Get("/pandora/talk", Logged([this](const auto& req, auto& res) {
                       if (const auto shape = Misbehave(Scope::kTalkGet, res)) {
                           const talk::PageText page{name_, Botid(req), NextToken()};
                           Send(res, talk::TalkPage(page, shape->kind != FaultKind::kNoForm));
                       }
                   }));
        server.Post("/pandora/talk", Logged([this](const auto& req, auto& res) {
                        if (const auto shape = Misbehave(Scope::kTalkPost, res)) Talk(req, res, *shape);
                    }));
        server.Get("/public/quorvanel/index.php", Logged([this](const auto& req, auto& res) {
                       if (const auto shape = Misbehave(Scope::kNews, res)) {
                           Send(res, talk::NewsPage(req.get_param_value("progversion"),
                                                    shape->kind != FaultKind::kNoMarker));
                       }
                   }));
        if (options_.control) RegisterControl(server);

        const auto not_found = [this](const web::Request& req, web::Response& res) {
            if (options_.control && req.path.rfind("/__", 0) != 0) log_.Add(req);
            res.status = 404;
            res.set_content("not found\n", "text/plain");
        };
        server.Get(".*", not_found);
        server.Post(".*", not_found);
        server.Put(".*", not_found);
        server.Delete(".*", not_found);
        server.Patch(".*", not_found);
        server.Options(".*", not_found);
    }

    FaultBoard& faults() { return faults_; }

  private:
    void RegisterControl(web::Server& server) {
        // Control and log requests stay out of the log, so a test sees only the client's.
        server.Get("/__log",
                   [this](const auto&, auto& res) { res.set_content(log_.Text(), "text/plain"); });
        server.Post("/__log/clear", [this](const auto&, auto& res) {
            log_.Clear();
            res.set_content("ok\n", "text/plain");
        });
        server.Post("/__quit", [this](const auto&, auto& res) {
            res.set_content("ok\n", "text/plain");
            faults_.OrderStop();
        });
        server.Post("/__control", [this](const auto& req, auto& res) {
            const auto scope = talk::FormField(req.body, "scope");
            const auto count = talk::FormField(req.body, "count");
            const auto setting = talk::ParseFaultSetting(
                scope.value_or("all"), talk::FormField(req.body, "fault").value_or(""),
                count ? std::optional<std::string_view>(*count) : std::nullopt);
            if (!setting) {
                res.status = 400;
                res.set_content("bad fault setting: " + req.body + "\n", "text/plain");
                return;
            }
            faults_.Set(*setting);
            res.set_content("ok\n", "text/plain");
        });
    }

    void Talk(const web::Request& req, web::Response& res, const Fault& shape) {
        const std::string message = qvbot::CutUtf8(
            qvbot::ClientTextToUtf8(talk::FormField(req.body, "message").value_or("")),
            qvbot::kMaxMessageChars);
        std::string token = talk::FormField(req.body, "botcust2").value_or("");
        token = qvbot::CutUtf8(qvbot::ClientTextToUtf8(token), qvbot::kMaxTokenChars);
        if (token.empty()) token = NextToken();
        const talk::PageText page{name_, Botid(req), token};
        std::optional<std::string> answer;
        if (shape.kind != FaultKind::kNoAnswer && shape.kind != FaultKind::kNoMarker) {
            if (options_.answer_html) {
                answer = *options_.answer_html;
            } else {
                answer = talk::HtmlEscape(conversations_.With(
                    token, [&](qvbot::Conversation& c) { return bot_.Respond(c, message); }));
            }
        }
        Send(res, talk::AnswerPage(page, message, answer, shape.kind != FaultKind::kNoForm));
    }

    template <typename Handler>
    web::Server::Handler Logged(Handler handler) {
        return [this, handler](const web::Request& req, web::Response& res) {
            if (options_.control) log_.Add(req);
            handler(req, res);
        };
    }

    // Applies the scope's fault. Returns nullopt when the fault has made the whole response,
    // otherwise the fault that shapes the page (kNone for a normal one).
    std::optional<Fault> Misbehave(Scope scope, web::Response& res) {
        std::uint64_t generation = 0;
        const Fault fault = faults_.Take(scope, generation);
        switch (fault.kind) {
            case FaultKind::kDelay:
            case FaultKind::kHang:
                if (!faults_.Wait(scope, generation, fault.ms, fault.kind == FaultKind::kHang)) {
                    res.status = 503;
                    res.set_content("stopping\n", "text/plain");
                    return {};
                }
                return Fault{};
            case FaultKind::kError500:
                res.status = 500;
                res.set_content("<html><body>Internal Server Error</body></html>", "text/html");
                return {};
            case FaultKind::kEmpty:
                res.set_content("", ContentType());
                return {};
            case FaultKind::kGarbage:
                res.set_content(faults_.Garbage(), ContentType());
                return {};
            case FaultKind::kHuge:
                res.set_content(talk::HugePage(), ContentType());
                return {};
            default:
                return fault;
        }
    }

    std::string Botid(const web::Request& req) {
        const std::string botid = qvbot::ClientTextToUtf8(req.get_param_value("botid"));
        const std::lock_guard lock(botid_mutex_);
        if (botid != botid_ && unknown_botids_.size() < kMaxNotedBotids &&
            unknown_botids_.insert(botid).second) {
            std::fprintf(stderr, "quorvanel-botserver: unknown botid \"%s\", answering anyway\n",
                         botid.c_str());
        }
        return botid;
    }

    std::string NextToken() {
        if (options_.token) return *options_.token;
        const std::lock_guard lock(token_mutex_);
        return talk::TokenHex(tokens_.Next());
    }

    std::string ContentType() const {
        return options_.utf8 ? "text/html; charset=UTF-8" : "text/html; charset=ISO-8859-1";
    }

    void Send(web::Response& res, const std::string& page) const {
        res.set_content(options_.utf8 ? page : qvbot::Utf8ToWindows1252Html(page), ContentType());
    }

    const Options& options_;
    const qvbot::Bot& bot_;
    const std::string botid_;
    const std::string name_;
    qvbot::Conversations conversations_;
    RequestLog log_;
    FaultBoard faults_;
    qvbot::sync::Mutex botid_mutex_;
    std::set<std::string> unknown_botids_;  // noted once each, to keep stderr readable
    qvbot::sync::Mutex token_mutex_;
    talk::Random tokens_;
};

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

#ifdef _WIN32
FaultBoard* console_board = nullptr;  // the one thing Ctrl+C must reach
BOOL WINAPI OnConsoleEvent(DWORD) {
    if (console_board) console_board->OrderStop();
    return TRUE;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) return 2;

    qvbot::Properties properties = qvbot::DefaultProperties();
    std::vector<std::string> errors;
    std::string properties_file = options->properties;
    if (properties_file.empty() &&
        std::filesystem::is_regular_file(std::filesystem::path(options->aiml) / "bot.properties")) {
        properties_file = (std::filesystem::path(options->aiml) / "bot.properties").string();
    }
    if (!properties_file.empty()) {
        std::string text;
        if (!ReadFile(properties_file, text)) {
            std::fprintf(stderr, "quorvanel-botserver: cannot read %s\n", properties_file.c_str());
            return 1;
        }
        qvbot::ReadProperties(properties_file, text, properties, errors);
    }
    const std::uint64_t seed = options->seed.value_or(
        (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}());
    qvbot::Bot bot(properties);
    const qvbot::LoadReport report = bot.LoadFolder(options->aiml);
    errors.insert(errors.end(), report.errors.begin(), report.errors.end());
    for (const auto& error : errors) std::fprintf(stderr, "%s\n", error.c_str());
    for (const auto& [element, count] : report.never_run) {
        std::fprintf(stderr, "quorvanel-botserver: %d <%s> element(s) will never be run\n", count,
                     element.c_str());
    }
    if (report.files == 0 && !std::filesystem::is_directory(options->aiml)) return 1;

    std::FILE* log_file = nullptr;
    if (!options->log_path.empty()) {
        log_file = std::fopen(options->log_path.c_str(), "a");
        if (!log_file) {
            std::fprintf(stderr, "quorvanel-botserver: cannot open %s: %s\n",
                         options->log_path.c_str(), std::strerror(errno));
            return 1;
        }
    }

#ifndef _WIN32
    // Blocked before any thread exists, so only the signal thread below ever takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
#endif

    TalkServer talk(*options, bot, seed, log_file);
    web::Server server;
    server.new_task_queue = [] { return new web::ThreadPool(kWorkers); };
    server.set_payload_max_length(kMaxBody);
    // The library listens with a backlog of 5, too few for a burst of clients: connections
    // beyond it wait for a SYN resend, a second or more. The socket is taken as it is made, and
    // listened on again with room for every worker.
    web::socket_t listening = INVALID_SOCKET;
    server.set_socket_options([&listening](web::socket_t sock) {
        web::default_socket_options(sock);
        listening = sock;
    });
    talk.Register(server);

    int port = options->port;
    if (port == 0) {
        port = server.bind_to_any_port(options->listen);
    } else if (!server.bind_to_port(options->listen, port)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "quorvanel-botserver: cannot listen on %s:%d\n",
                     options->listen.c_str(), options->port);
        return 1;
    }
    if (listening != INVALID_SOCKET) ::listen(listening, kWorkers);
    if (!options->port_file.empty()) {
        std::FILE* file = std::fopen(options->port_file.c_str(), "w");
        if (!file || std::fprintf(file, "%d\n", port) < 0 || std::fclose(file) != 0) {
            std::fprintf(stderr, "quorvanel-botserver: cannot write %s\n",
                         options->port_file.c_str());
            return 1;
        }
    }
    // Last, so a caller who read this line can count on the port file too.
    std::printf("loaded %zu categories from %d files (%d replaced); listening on %s:%d\n",
                bot.Size(), report.files, report.replaced, options->listen.c_str(), port);
    std::fflush(stdout);

#ifndef _WIN32
    qvbot::sync::Thread signals([&] {
        int signal = 0;
        sigwait(&stop_signals, &signal);
        talk.faults().OrderStop();
    });
    signals.detach();  // ends with the process
#else
    console_board = &talk.faults();
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#endif

    std::atomic<bool> listen_returned = false;
    qvbot::sync::Thread stopper([&] {
        talk.faults().WaitForStop(options->lifetime_s);
        talk.faults().Stop();  // releases hung requests first, or stopping would wait for them
        // stop() does nothing before listening has begun, so it is repeated until it took.
        while (!listen_returned) {
            server.stop();
            qvbot::sync::SleepMs(20);
        }
    });
    server.listen_after_bind();
    listen_returned = true;
    if (!talk.faults().Stopping()) {  // listening ends by a stop, or by an error
        std::fprintf(stderr, "quorvanel-botserver: listening failed\n");
        std::_Exit(1);  // the stopper waits for an order that will not come
    }
    stopper.join();
    if (log_file) std::fclose(log_file);
    return 0;
}
