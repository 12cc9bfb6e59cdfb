// quorvanel-botserver: AIML bots behind the talk protocol. It serves the talk page, answers each
// conversation token from its own conversation with the bot the botid names, and serves the news
// page. Conversations live in this process or in Redis, shared by every instance. A test-only
// group of options adds a request log, control requests and faults on demand.
#include <CLI/CLI.hpp>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bots.h"
#include "http_server.h"
#include "model_client.h"
#include "model_talk.h"
#include "qvbot/bot.h"
#include "qvbot/text.h"
#include "random_bytes.h"
#include "store.h"
#include "sync.h"
#include "talk_protocol.h"
#ifdef QV_HAVE_REDIS
#include "redis_store.h"
#endif

namespace {

using talk::Fault;
using talk::FaultKind;
using talk::Scope;

// Requests wait on timers, not threads: a few threads serve every connection.
constexpr int kThreads = 4;
constexpr std::size_t kMaxBody = 64 * 1024;
// Model requests in flight at once by default: a few threads' worth of a small machine's sockets.
constexpr int kMaxModelRequests = 64;
// How often a hanging request looks whether it has been released.
constexpr std::chrono::milliseconds kHangPoll{25};
constexpr std::size_t kMaxNotedBotids = 100;
// A client told that the store is out of reach may try again after this many seconds.
constexpr char kRetryAfter[] = "1";

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

// Where Redis's password is read from, so that it shows in no process list.
constexpr char kPasswordVariable[] = "QVBOT_REDIS_PASSWORD";

struct Options {
    std::string aiml;
    std::string properties;
    std::string bots;
    std::string default_bot;
    std::string store = "memory";
    std::chrono::seconds forget_after = std::chrono::hours(24 * 30);
    int store_timeout_ms = 500;
    std::string listen = "127.0.0.1";
    int port = 8088;
    std::string port_file;
    int threads = kThreads;
    int max_model_requests = kMaxModelRequests;
    std::string access_log = "-";
    bool log_messages = false;
    bool control = false;
    bool allow_learnf = false;
    std::string log_path;
    std::optional<std::string> token;
    std::optional<std::uint64_t> seed;
    bool utf8 = false;
    int lifetime_s = 0;
    std::optional<std::string> answer_html;
    std::vector<talk::FaultSetting> faults;
    std::optional<talk::Chaos> chaos;
};

// "30d", "12h", "90m", "45s" or plain seconds.
std::optional<std::chrono::seconds> ParseDuration(const std::string& text) {
    std::size_t used = 0;
    long long n = 0;
    try {
        n = std::stoll(text, &used);
    } catch (const std::exception&) {
        return {};
    }
    const std::string unit = text.substr(used);
    const long long scale = unit.empty() || unit == "s" ? 1
                            : unit == "m"               ? 60
                            : unit == "h"               ? 3600
                            : unit == "d"               ? 86400
                                                        : 0;
    if (scale == 0 || n <= 0 || n > 3650LL * 86400 / scale) return {};
    return std::chrono::seconds(n * scale);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    CLI::App app{"quorvanel-botserver: AIML bots behind the talk protocol", "quorvanel-botserver"};
    app.get_formatter()->column_width(26);
    const auto* aiml = app.add_option("--aiml", options.aiml,
                                      "one bot: every *.aiml file in DIR and its subfolders")
                           ->type_name("DIR");
    app.add_option(
           "--properties", options.properties,
           "with --aiml: the bot's name, botid and other properties (\"name = value\" lines; "
           "default: bot.properties in DIR, when there is one)")
        ->type_name("FILE");
    const auto* bots =
        app.add_option("--bots", options.bots, "many bots: every subfolder of DIR is one")
            ->type_name("DIR")
            ->excludes("--aiml");
    app.add_option("--default-bot", options.default_bot,
                   "the botid that answers a botid no bot has (default: the first bot)")
        ->type_name("BOTID");
    std::string forget_after = "30d";
    app.add_option("--store", options.store,
                   "where conversations are kept: memory (default, this process only) or "
                   "redis://HOST:PORT[/DB], shared by every instance; Redis's password, if it asks "
                   "for one, is read from the environment variable " +
                       std::string(kPasswordVariable))
        ->type_name("STORE");
    app.add_option(
           "--forget-after", forget_after,
           "with Redis: a conversation nobody used for this long is forgotten (default 30d; "
           "s, m, h or d)")
        ->type_name("TIME");
    app.add_option("--store-timeout", options.store_timeout_ms,
                   "with Redis: milliseconds one connection or command may take (default 500)")
        ->check(CLI::Range(10, 10000));
    app.add_option("--listen", options.listen,
                   "the address to listen on (default 127.0.0.1, this machine only; 0.0.0.0 for "
                   "every network)")
        ->type_name("ADDR");
    app.add_option("--port", options.port, "the port (default 8088; 0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--port-file", options.port_file, "also write the port and a newline to FILE")
        ->type_name("FILE");
    app.add_option("--threads", options.threads, "threads answering requests (default 4)")
        ->check(CLI::Range(1, 256));
    app.add_option("--max-model-requests", options.max_model_requests,
                   "requests to language models in flight at once (default 64); the <sraix> of "
                   "any more answers with its default at once")
        ->check(CLI::Range(1, 100000));
    app.add_option("--access-log", options.access_log,
                   "one line per request (time, botid, status, milliseconds) to FILE; - (default) "
                   "for standard output, none for no log")
        ->type_name("FILE");
    app.add_flag("--allow-learnf", options.allow_learnf,
                 "let <learnf> add categories to learnf.aiml in the bot's folder, which every "
                 "conversation answers from after the next start or reload (default: it learns "
                 "for its own conversation only)");
    app.add_flag("--log-messages", options.log_messages,
                 "also write each message's text in the access log");
    app.set_config("--config", "",
                   "read options from FILE too (\"name = value\" lines, # comments)")
        ->type_name("FILE");
    bool help_test = false;
    app.add_flag("--help-test", help_test, "the options for tests");

    // The test options, left out of --help.
    std::string token, charset = "latin1", answer_html, chaos;
    std::uint64_t seed = 0;
    std::vector<std::string> faults;
    app.add_flag("--test-control", options.control)->group("");
    app.add_option("--log", options.log_path)->group("");
    const auto* token_option = app.add_option("--token", token)->group("");
    const auto* seed_option = app.add_option("--seed", seed)->group("");
    app.add_option("--charset", charset)->check(CLI::IsMember({"latin1", "utf-8"}))->group("");
    // A test harness gives a default lifetime and a test its own after it: the last one holds.
    app.add_option("--lifetime", options.lifetime_s)
        ->check(CLI::NonNegativeNumber)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
        ->group("");
    const auto* answer_option = app.add_option("--answer-html", answer_html)->group("");
    app.add_option("--fault", faults)->group("");
    app.add_option("--chaos", chaos)->group("");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        if (status == 0) std::exit(0);  // --help
        return {};
    }
    if (help_test) {
        std::fputs(kTestUsage, stdout);
        std::exit(0);
    }
    const auto bad = [](const std::string& what) {
        std::fprintf(stderr, "quorvanel-botserver: %s (see --help)\n", what.c_str());
        return std::nullopt;
    };
    if (aiml->count() == 0 && bots->count() == 0)
        return bad("--aiml DIR or --bots DIR is required");
    const auto forget = ParseDuration(forget_after);
    if (!forget) return bad("bad --forget-after: " + forget_after);
    options.forget_after = *forget;
    if (token_option->count()) options.token = token;
    if (seed_option->count()) options.seed = seed;
    if (answer_option->count()) options.answer_html = answer_html;
    options.utf8 = charset == "utf-8";
    for (const auto& fault : faults) {
        const std::size_t eq = fault.find('=');
        const auto setting = talk::ParseFaultSetting(
            fault.substr(0, eq), eq == std::string::npos ? "" : fault.substr(eq + 1), {});
        if (!setting) return bad("bad --fault " + fault);
        options.faults.push_back(*setting);
    }
    if (!chaos.empty()) {
        options.chaos = talk::ParseChaos(chaos);
        if (!options.chaos) return bad("bad --chaos " + chaos);
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
            if (!headers.empty()) headers += ',';
            headers += talk::JsonString(name);
            headers += ':';
            headers += talk::JsonString(value);
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

// The faults in force per scope.
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

    // Whether the scope's fault was set anew since `generation`.
    bool Changed(Scope scope, std::uint64_t generation) {
        const std::lock_guard lock(mutex_);
        return slots_[static_cast<int>(scope)].generation != generation;
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
    std::array<Slot, 3> slots_;
    std::optional<talk::Chaos> chaos_;
    std::uint64_t talk_posts_ = 0;
    talk::Random garbage_;
};

// Conversation tokens: from the system's random source, so that one token tells nothing of the
// next; from a seeded sequence when a test asks for repeatable runs.
class TokenSource {
  public:
    explicit TokenSource(std::optional<std::uint64_t> seed) : seeded_(seed.value_or(0)), seed_(seed) {}
    std::string Next() {
        if (seed_) {
            const std::lock_guard lock(mutex_);
            return talk::TokenHex(seeded_.Next());
        }
        std::uint64_t value = 0;
        if (!qvbot::RandomBytes(&value, sizeof value)) {
            // Never expected; a predictable token is still better than none.
            const std::lock_guard lock(mutex_);
            return talk::TokenHex(seeded_.Next() ^ static_cast<std::uint64_t>(
                                                       std::chrono::steady_clock::now().time_since_epoch().count()));
        }
        return talk::TokenHex(value);
    }

  private:
    qvbot::sync::Mutex mutex_;
    talk::Random seeded_;
    std::optional<std::uint64_t> seed_;
};

// One line per request for the operator: when, which bot, the status and how long it took;
// the message's text only when asked for, as it is the users' own.
class AccessLog {
  public:
    AccessLog(std::FILE* file, bool messages) : file_(file), messages_(messages) {}

    void Add(const web::Request& req, const std::string& botid, int status,
             std::chrono::steady_clock::time_point started) {
        if (!file_) return;
        const auto now = std::chrono::system_clock::now();
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
        const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
        std::tm utc{};
#ifdef _WIN32
        gmtime_s(&utc, &seconds);
#else
        gmtime_r(&seconds, &utc);
#endif
        char when[32];
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &utc);
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        std::string line = std::string(when) + "." + std::to_string(1000 + ms % 1000).substr(1) +
                           "Z " + req.method + " " + req.path +
                           " botid=" + talk::JsonString(botid) + " " + std::to_string(status) +
                           " " + std::to_string(took).substr(0, 6) + "ms";
        if (messages_)
            line +=
                " message=" + talk::JsonString(talk::FormField(req.body, "message").value_or(""));
        line += '\n';
        std::fputs(line.c_str(), file_);  // whole lines: the C library locks the stream per call
    }

  private:
    std::FILE* file_;
    const bool messages_;
};

class TalkServer {
  public:
    TalkServer(const Options& options, const qvbot::BotSet& bots, qvbot::ConversationStore& store,
               std::uint64_t seed, std::FILE* log_file, std::FILE* access_file)
        : options_(options),
          bots_(bots),
          store_(store),
          log_(log_file),
          access_(access_file, options.log_messages),
          faults_(options.chaos, seed),
          tokens_(options.seed) {
        for (const auto& setting : options.faults) faults_.Set(setting);
    }

    void Attach(web::Server& server, qvbot::ModelClient& models) {
        server_ = &server;
        // A model's answer comes on the client's thread; the store is worked on from the server's.
        models_.emplace(store_, models, [this](std::function<void()> f) {
            server_->After(std::chrono::milliseconds(0), std::move(f));
        });
    }

    void Handle(const web::Request& req, web::Reply reply) {
        if (options_.control && req.path.rfind("/__", 0) == 0) return Control(req, reply);
        if (options_.control) log_.Add(req);
        reply = [this, req, reply = std::move(reply),
                 started = std::chrono::steady_clock::now()](web::Response response) {
            access_.Add(req, req.Param("botid"), response.status, started);
            reply(std::move(response));
        };
        const bool get = req.method == "GET", post = req.method == "POST";
        if (get && req.path == "/pandora/talk") {
            Misbehave(Scope::kTalkGet, reply, [this, req, reply](const Fault& shape) {
                const talk::PageText page{Choose(req).bot->properties().at("name"), Botid(req),
                                          NextToken()};
                reply(Page(talk::TalkPage(page, shape.kind != FaultKind::kNoForm)));
            });
        } else if (post && req.path == "/pandora/talk") {
            Misbehave(Scope::kTalkPost, reply,
                      [this, req, reply](const Fault& shape) { Talk(req, shape, reply); });
        } else if (get && req.path == "/public/quorvanel/index.php") {
            Misbehave(Scope::kNews, reply, [this, req, reply](const Fault& shape) {
                reply(Page(talk::NewsPage(req.Param("progversion"), shape.kind != FaultKind::kNoMarker)));
            });
        } else if (get && req.path == "/healthz") {
            // A balancer that keeps its connection hears of a stop before the instance goes.
            const bool healthy = !server_->Draining() && store_.Healthy();
            reply(healthy ? web::Response{200, "text/plain", "ok\n"} : Busy());
        } else {
            reply({404, "text/plain", "not found\n"});
        }
    }

  private:
    // Control and log requests stay out of the log, so a test sees only the client's.
    void Control(const web::Request& req, const web::Reply& reply) {
        if (req.method == "GET" && req.path == "/__log") return reply({200, "text/plain", log_.Text()});
        if (req.method != "POST") return reply({404, "text/plain", "not found\n"});
        if (req.path == "/__log/clear") {
            log_.Clear();
            return reply({200, "text/plain", "ok\n"});
        }
        if (req.path == "/__quit") {
            reply({200, "text/plain", "ok\n"});
            // A moment for the answer to leave.
            server_->After(std::chrono::milliseconds(100), [this] { server_->Stop(); });
            return;
        }
        if (req.path == "/__control") {
            const auto scope = talk::FormField(req.body, "scope");
            const auto count = talk::FormField(req.body, "count");
            const auto setting = talk::ParseFaultSetting(
                scope.value_or("all"), talk::FormField(req.body, "fault").value_or(""),
                count ? std::optional<std::string_view>(*count) : std::nullopt);
            if (!setting) return reply({400, "text/plain", "bad fault setting: " + req.body + "\n"});
            faults_.Set(*setting);
            return reply({200, "text/plain", "ok\n"});
        }
        reply({404, "text/plain", "not found\n"});
    }

    static web::Response Busy() {
        return {503,
                "text/plain",
                "the conversation store cannot be reached; try again shortly\n",
                {{"Retry-After", kRetryAfter}}};
    }

    void Talk(const web::Request& req, const Fault& shape, const web::Reply& reply) {
        const std::string message = qvbot::CutUtf8(
            qvbot::ClientTextToUtf8(talk::FormField(req.body, "message").value_or("")),
            qvbot::kMaxMessageChars);
        std::string token = talk::FormField(req.body, "botcust2").value_or("");
        token = qvbot::CutUtf8(qvbot::ClientTextToUtf8(token), qvbot::kMaxTokenChars);
        if (token.empty()) token = NextToken();
        // The bot is held to the end of the answer, so a reload meanwhile changes nothing here.
        const auto choice = Choose(req);
        const auto& bot = choice.bot;
        const talk::PageText page{bot->properties().at("name"), Botid(req), token};
        const bool with_form = shape.kind != FaultKind::kNoForm;
        if (shape.kind == FaultKind::kNoAnswer || shape.kind == FaultKind::kNoMarker) {
            return reply(Page(talk::AnswerPage(page, message, std::nullopt, with_form)));
        }
        if (options_.answer_html)
            return reply(Page(talk::AnswerPage(page, message, *options_.answer_html, with_form)));
        auto answered = [this, page, message, with_form, reply](std::optional<std::string> said) {
            if (!said) return reply(Busy());
            reply(Page(talk::AnswerPage(page, message, talk::HtmlEscape(*said), with_form)));
        };
        if (!choice.services->empty()) {
            return models_->Answer(bot, choice.services, token, message, std::move(answered));
        }
        answered(store_.Answer(bot->properties().at("botid"), token,
                               [&](qvbot::Conversation& c) { return bot->Respond(c, message); }));
    }

    // Applies the scope's fault: a fault that makes the whole response answers it here;
    // otherwise `then` builds the page, shaped by the fault (kNone for a normal one), at once or
    // once a delay or hang is over.
    void Misbehave(Scope scope, const web::Reply& reply, std::function<void(const Fault&)> then) {
        std::uint64_t generation = 0;
        const Fault fault = faults_.Take(scope, generation);
        switch (fault.kind) {
            case FaultKind::kDelay:
                server_->After(std::chrono::milliseconds(fault.ms), [then] { then(Fault{}); });
                return;
            case FaultKind::kHang:
                Hang(scope, generation, fault.ms == 0 ? std::chrono::steady_clock::time_point::max()
                                                      : std::chrono::steady_clock::now() +
                                                            std::chrono::milliseconds(fault.ms),
                     std::move(then));
                return;
            case FaultKind::kError500:
                return reply({500, "text/html", "<html><body>Internal Server Error</body></html>"});
            case FaultKind::kEmpty:
                return reply({200, ContentType(), ""});
            case FaultKind::kGarbage:
                return reply({200, ContentType(), faults_.Garbage()});
            case FaultKind::kHuge:
                return reply({200, ContentType(), talk::HugePage()});
            default:
                return then(fault);
        }
    }

    // Holds a request until its scope's fault is set anew or the hang's time is up; no thread
    // waits meanwhile.
    void Hang(Scope scope, std::uint64_t generation, std::chrono::steady_clock::time_point until,
              std::function<void(const Fault&)> then) {
        if (faults_.Changed(scope, generation) || std::chrono::steady_clock::now() >= until) {
            return then(Fault{});
        }
        server_->After(kHangPoll, [this, scope, generation, until, then = std::move(then)]() mutable {
            Hang(scope, generation, until, std::move(then));
        });
    }

    std::string NextToken() { return options_.token ? *options_.token : tokens_.Next(); }

    // The bot the request's botid names, else the default one; each unknown botid is noted once.
    qvbot::BotSet::Choice Choose(const web::Request& req) {
        const std::string botid = Botid(req);
        auto choice = bots_.Choose(botid);
        if (choice.known) return choice;
        const std::lock_guard lock(botid_mutex_);
        if (unknown_botids_.size() < kMaxNotedBotids && unknown_botids_.insert(botid).second) {
            std::fprintf(stderr, "quorvanel-botserver: unknown botid \"%s\", answered by %s\n",
                         botid.c_str(), choice.bot->properties().at("botid").c_str());
        }
        return choice;
    }

    static std::string Botid(const web::Request& req) {
        return qvbot::ClientTextToUtf8(req.Param("botid"));
    }

    std::string ContentType() const {
        return options_.utf8 ? "text/html; charset=UTF-8" : "text/html; charset=ISO-8859-1";
    }

    web::Response Page(const std::string& page) const {
        return {200, ContentType(), options_.utf8 ? page : qvbot::Utf8ToWindows1252Html(page)};
    }

    const Options& options_;
    const qvbot::BotSet& bots_;
    qvbot::ConversationStore& store_;
    RequestLog log_;
    AccessLog access_;
    FaultBoard faults_;
    qvbot::sync::Mutex botid_mutex_;
    std::set<std::string> unknown_botids_;  // noted once each, to keep stderr readable
    TokenSource tokens_;
    web::Server* server_ = nullptr;
    std::optional<qvbot::ModelTalk> models_;
};

// The store the options name, or null (with the reason told).
std::unique_ptr<qvbot::ConversationStore> MakeStore(const Options& options, std::uint64_t seed) {
    if (options.store == "memory") return std::make_unique<qvbot::MemoryStore>(seed);
#ifdef QV_HAVE_REDIS
    if (const auto address = qvbot::ParseRedisUrl(options.store)) {
        qvbot::RedisSettings settings;
        settings.address = *address;
        if (const char* password = std::getenv(kPasswordVariable)) settings.password = password;
        settings.forget_after = options.forget_after;
        settings.timeout = std::chrono::milliseconds(options.store_timeout_ms);
        return std::make_unique<qvbot::RedisStore>(settings);
    }
    std::fprintf(stderr, "quorvanel-botserver: bad --store %s (memory or redis://HOST:PORT[/DB])\n",
                 options.store.c_str());
#else
    std::fprintf(stderr, "quorvanel-botserver: this build keeps conversations in memory only\n");
#endif
    return nullptr;
}

// Opens a log the options name: "-" is standard output, "none" or "" none at all.
bool OpenLog(const std::string& path, std::FILE*& file) {
    file = nullptr;
    if (path == "none" || path.empty()) return true;
    if (path == "-") {
        file = stdout;
        return true;
    }
    file = std::fopen(path.c_str(), "a");
    if (!file)
        std::fprintf(stderr, "quorvanel-botserver: cannot open %s: %s\n", path.c_str(),
                     std::strerror(errno));
    return file != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) return 2;
    // Lines as they come, so that a log reader or a test sees each request when it is done.
    std::setvbuf(stdout, nullptr, _IOLBF, 1 << 16);
#ifdef SIGPIPE
    // An access log into a pipe nobody reads any more fails its writes; it must not end the server.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    qvbot::BotSet bots;
    auto sources = options->bots.empty()
                       ? std::vector<qvbot::BotSource>{{options->aiml, options->properties, false}}
                       : qvbot::BotFolders(options->bots);
    for (auto& source : sources) source.allow_learnf = options->allow_learnf;
    if (!bots.Load(std::move(sources), options->default_bot)) {
        return 1;
    }
    std::uint64_t seed = options->seed.value_or(0);
    if (!options->seed && !qvbot::RandomBytes(&seed, sizeof seed)) {
        seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    const auto store = MakeStore(*options, seed);
    if (!store) return 2;
    std::FILE* log_file = nullptr;
    std::FILE* access_file = nullptr;
    if (!OpenLog(options->log_path, log_file) || !OpenLog(options->access_log, access_file))
        return 1;
    if (access_file && access_file != stdout) std::setvbuf(access_file, nullptr, _IOLBF, 1 << 16);

    TalkServer talk(*options, bots, *store, seed, log_file, access_file);
    web::Limits limits;
    limits.max_body = kMaxBody;
    web::Server server(
        [&talk](const web::Request& req, web::Reply reply) { talk.Handle(req, std::move(reply)); },
        limits, options->threads);
    // Made after the server and so ended before it: no answer of a model reaches a server gone.
    qvbot::ModelClient models(options->max_model_requests);
    talk.Attach(server, models);
    std::string error;
    if (!server.Listen(options->listen, options->port, error)) {
        std::fprintf(stderr, "quorvanel-botserver: cannot listen on %s:%d: %s\n",
                     options->listen.c_str(), options->port, error.c_str());
        return 1;
    }
    const int port = server.Port();
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
                bots.Categories(), bots.Files(), bots.Replaced(), options->listen.c_str(), port);
    std::fflush(stdout);

    // Requests being answered finish; a stop takes at most one request deadline.
    server.OnStopSignal([&server, &limits] { server.Drain(limits.request_deadline); });
    server.OnReloadSignal([&bots] {
        std::fprintf(stderr, "quorvanel-botserver: reloading the bots\n");
        std::printf("reloaded %d bot(s)\n", bots.Reload());
    });
    if (options->lifetime_s > 0) {
        server.After(std::chrono::seconds(options->lifetime_s), [&server] { server.Stop(); });
    }
    server.Run();
    if (log_file) std::fclose(log_file);
    if (access_file && access_file != stdout) std::fclose(access_file);
    return 0;
}
