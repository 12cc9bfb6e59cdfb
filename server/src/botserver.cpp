// quorvanel-botserver: an AIML bot behind the talk protocol. It serves the talk page, answers each
// conversation token from its own conversation, and serves the news page. A test-only group of
// options adds a request log, control requests and faults on demand.
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
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

#include "qvbot/bot.h"
#include "conversations.h"
#include "qvbot/folder.h"
#include "http_server.h"
#include "qvbot/properties.h"
#include "random_bytes.h"
#include "sync.h"
#include "talk_protocol.h"
#include "qvbot/text.h"

namespace {

using talk::Fault;
using talk::FaultKind;
using talk::Scope;

// Requests wait on timers, not threads: a few threads serve every connection.
constexpr int kThreads = 4;
constexpr std::size_t kMaxBody = 64 * 1024;
// How often a hanging request looks whether it has been released.
constexpr std::chrono::milliseconds kHangPoll{25};
constexpr std::size_t kMaxNotedBotids = 100;

constexpr char kUsage[] = R"(usage: quorvanel-botserver --aiml DIR [options]
  --aiml DIR          the bot: every *.aiml file in DIR and its subfolders
  --properties FILE   the bot's name, botid and other properties ("name = value" lines;
                      default: bot.properties in DIR, when there is one)
  --listen ADDR       the address to listen on (default 127.0.0.1, this machine only;
                      0.0.0.0 for every network)
  --port N            the port (default 8088; 0: any free port)
  --port-file FILE    also write the port and a newline to FILE
  --allow-learnf      let <learnf> add categories to learnf.aiml in DIR, which every
                      conversation answers from after the next start (off: <learnf>
                      learns for its own conversation only)
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

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "--help-test") {
            std::fputs(name == "--help" ? kUsage : kTestUsage, stdout);
            std::exit(0);
        }
        if (name == "--test-control" || name == "--allow-learnf") {
            (name == "--test-control" ? options.control : options.allow_learnf) = true;
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
          tokens_(options.seed) {
        for (const auto& setting : options.faults) faults_.Set(setting);
    }

    void Attach(web::Server& server) { server_ = &server; }

    void Handle(const web::Request& req, web::Reply reply) {
        const bool get = req.method == "GET", post = req.method == "POST";
        if (options_.control && req.path.rfind("/__", 0) == 0) return Control(req, reply);
        if (options_.control) log_.Add(req);
        if (get && req.path == "/pandora/talk") {
            Misbehave(Scope::kTalkGet, reply, [this, req, reply](const Fault& shape) {
                const talk::PageText page{name_, Botid(req), NextToken()};
                reply(Page(talk::TalkPage(page, shape.kind != FaultKind::kNoForm)));
            });
        } else if (post && req.path == "/pandora/talk") {
            Misbehave(Scope::kTalkPost, reply, [this, req, reply](const Fault& shape) { reply(Talk(req, shape)); });
        } else if (get && req.path == "/public/quorvanel/index.php") {
            Misbehave(Scope::kNews, reply, [this, req, reply](const Fault& shape) {
                reply(Page(talk::NewsPage(req.Param("progversion"), shape.kind != FaultKind::kNoMarker)));
            });
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

    web::Response Talk(const web::Request& req, const Fault& shape) {
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
        return Page(talk::AnswerPage(page, message, answer, shape.kind != FaultKind::kNoForm));
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

    std::string Botid(const web::Request& req) {
        const std::string botid = qvbot::ClientTextToUtf8(req.Param("botid"));
        const std::lock_guard lock(botid_mutex_);
        if (botid != botid_ && unknown_botids_.size() < kMaxNotedBotids &&
            unknown_botids_.insert(botid).second) {
            std::fprintf(stderr, "quorvanel-botserver: unknown botid \"%s\", answering anyway\n",
                         botid.c_str());
        }
        return botid;
    }

    std::string ContentType() const {
        return options_.utf8 ? "text/html; charset=UTF-8" : "text/html; charset=ISO-8859-1";
    }

    web::Response Page(const std::string& page) const {
        return {200, ContentType(), options_.utf8 ? page : qvbot::Utf8ToWindows1252Html(page)};
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
    TokenSource tokens_;
    web::Server* server_ = nullptr;
};

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) return 2;

    const qvbot::DiskFolder folder(options->aiml);
    std::unique_ptr<qvbot::Bot> bot;
    qvbot::LoadReport report;
    if (options->properties.empty()) {
        bot = qvbot::LoadBot(folder, options->aiml, report);
    } else {
        std::string text;
        if (!ReadFile(options->properties, text)) {
            std::fprintf(stderr, "quorvanel-botserver: cannot read %s\n", options->properties.c_str());
            return 1;
        }
        qvbot::Properties properties = qvbot::DefaultProperties();
        std::vector<std::string> errors;
        qvbot::ReadProperties(options->properties, text, properties, errors);
        bot = std::make_unique<qvbot::Bot>(std::move(properties));
        report = bot->LoadFolder(folder, options->aiml);
        report.errors.insert(report.errors.begin(), errors.begin(), errors.end());
    }
    std::uint64_t seed = options->seed.value_or(0);
    if (!options->seed && !qvbot::RandomBytes(&seed, sizeof seed)) {
        seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
    for (const auto& error : report.errors) std::fprintf(stderr, "%s\n", error.c_str());
    for (const auto& [element, count] : report.never_run) {
        std::fprintf(stderr, "quorvanel-botserver: %d <%s> element(s) will never be run\n", count,
                     element.c_str());
    }
    if (report.files == 0 && !std::filesystem::is_directory(options->aiml)) return 1;
    // Off unless asked: what one contact teaches would reach every contact after a restart.
    qvbot::sync::Mutex learnf_mutex;
    if (options->allow_learnf) {
        const std::filesystem::path file = std::filesystem::path(options->aiml) / qvbot::kLearnfFile;
        bot->SetLearnf([&learnf_mutex, file](const std::string& category) {
            const std::lock_guard lock(learnf_mutex);
            std::string text;
            std::error_code error;
            if (std::filesystem::exists(file, error) && !ReadFile(file.string(), text)) return false;
            const auto updated = qvbot::AddLearnedCategory(text, category);
            if (!updated) return false;
            // Written whole beside it, then put in its place: a crash leaves the old file.
            const std::filesystem::path written = file.string() + ".new";
            if (std::ofstream out(written, std::ios::binary | std::ios::trunc); !(out << *updated)) return false;
            std::filesystem::rename(written, file, error);
            return !error;
        });
    }

    std::FILE* log_file = nullptr;
    if (!options->log_path.empty()) {
        log_file = std::fopen(options->log_path.c_str(), "a");
        if (!log_file) {
            std::fprintf(stderr, "quorvanel-botserver: cannot open %s: %s\n",
                         options->log_path.c_str(), std::strerror(errno));
            return 1;
        }
    }

    TalkServer talk(*options, *bot, seed, log_file);
    web::Limits limits;
    limits.max_body = kMaxBody;
    web::Server server([&talk](const web::Request& req, web::Reply reply) { talk.Handle(req, std::move(reply)); },
                       limits, kThreads);
    talk.Attach(server);
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
                bot->Size(), report.files, report.replaced, options->listen.c_str(), port);
    std::fflush(stdout);

    server.OnStopSignal([&server] { server.Stop(); });
    if (options->lifetime_s > 0) {
        server.After(std::chrono::seconds(options->lifetime_s), [&server] { server.Stop(); });
    }
    server.Run();
    if (log_file) std::fclose(log_file);
    return 0;
}
