// The bot server's figures: loading 50,000 generated categories, the time of one answer with the
// starter bot and with those categories (median and 99th percentile), and the real executable on
// the loopback under load: 200 clients, slow clients beside normal ones, a flood of new tokens;
// the same with two instances sharing a redis-server of the benchmark's own, Redis's memory per
// conversation and its commands per answer; 20 bots of 5,000 categories loaded at start.
// Every run is bounded in count and time and talks to 127.0.0.1 only.
#include <benchmark/benchmark.h>
#include <hiredis/hiredis.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "qvbot/bot.h"
#include "qvbot/folder.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = boost::asio::ip::tcp;

// A talk client of our own: one kept-alive connection, one form post at a time.
class TalkClient {
  public:
    explicit TalkClient(int port) : stream_(context_) {
        stream_.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)));
    }
    // The page, or "" when the exchange failed.
    std::string Post(const std::string& body) {
        http::request<http::string_body> request{http::verb::post, "/pandora/talk?botid=5e0a7c31d94b2f68", 11};
        request.set(http::field::host, "127.0.0.1");
        request.set(http::field::content_type, "application/x-www-form-urlencoded");
        request.keep_alive(true);
        request.body() = body;
        request.prepare_payload();
        beast::error_code error;
        stream_.expires_after(std::chrono::seconds(10));
        http::write(stream_, request, error);
        http::response<http::string_body> response;
        if (!error) http::read(stream_, buffer_, response, error);
        return error || response.result_int() != 200 ? std::string() : response.body();
    }

  private:
    boost::asio::io_context context_;
    beast::tcp_stream stream_;
    beast::flat_buffer buffer_;
};
constexpr int kCategories = 50000;
constexpr int kFiles = 10;

// Words like "ZORVAK": made-up, so they collide only as often as a real vocabulary would.
std::string Word(std::mt19937& random) {
    static const char* syllables[] = {"ZO", "RA", "VEK", "TI", "LUN", "MA", "QE", "SOR", "DA",
                                      "PI", "NEL", "KU", "BRA", "FO", "GIM", "HE", "WY", "XAN"};
    std::string word;
    for (int n = 2 + random() % 2; n > 0; --n) word += syllables[random() % std::size(syllables)];
    return word;
}

// Writes kCategories categories into kFiles files under a fresh folder; returns some inputs
// that match them.
std::filesystem::path GenerateSet(std::vector<std::string>& inputs) {
    const auto folder = std::filesystem::temp_directory_path() / "qvbot-bench-set";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::mt19937 random(42);
    for (int f = 0; f < kFiles; ++f) {
        std::ofstream out(folder / ("set" + std::to_string(f) + ".aiml"));
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<aiml version=\"1.0.1\">\n";
        for (int i = 0; i < kCategories / kFiles; ++i) {
            std::string pattern;
            for (int n = 2 + random() % 4; n > 0; --n) pattern += (pattern.empty() ? "" : " ") + Word(random);
            const bool wild = random() % 3 == 0;
            if (inputs.size() < 1000 && random() % 20 == 0) {
                inputs.push_back(pattern + (wild ? " and more words" : ""));
            }
            out << "<category><pattern>" << pattern << (wild ? " *" : "") << "</pattern>"
                << (random() % 10 == 0 ? "<that>" + Word(random) + " *</that>" : "")
                << "<template>Answer " << f << "." << i
                << (wild ? " about <star/>" : "") << ". <think><set name=\"last\">" << i
                << "</set></think></template></category>\n";
        }
        out << "</aiml>\n";
    }
    inputs.push_back("nothing of this set matches");
    return folder;
}

long RssKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

void BM_Load50000Categories(benchmark::State& state) {
    std::vector<std::string> inputs;
    const auto folder = GenerateSet(inputs);
    long grown_kb = 0;
    for (auto _ : state) {
        const long before = RssKb();
        auto bot = std::make_unique<qvbot::Bot>(qvbot::Properties{{"name", "Bench"}});
        const qvbot::LoadReport report = bot->LoadFolder(qvbot::DiskFolder(folder));
        grown_kb = std::max(grown_kb, RssKb() - before);
        if (report.categories != kCategories || !report.errors.empty()) {
            state.SkipWithError("the generated set did not load whole");
        }
        state.PauseTiming();  // freeing it is not part of loading
        bot.reset();
        state.ResumeTiming();
    }
    state.counters["rss_grown_MB"] = static_cast<double>(grown_kb) / 1024.0;
}
BENCHMARK(BM_Load50000Categories)->Unit(benchmark::kMillisecond)->Iterations(3);

// Answers the inputs in turn, timing each, and reports the median and the 99th percentile.
void Answers(benchmark::State& state, const qvbot::Bot& bot, const std::vector<std::string>& inputs) {
    qvbot::Conversation conversation{"bench", {}, {}, {}, 1};
    std::vector<double> micros;
    std::size_t next = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(bot.Respond(conversation, inputs[next++ % inputs.size()]));
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_AnswerStarterBot(benchmark::State& state) {
    qvbot::Bot bot(qvbot::Properties{{"name", "Kestro"}});
    bot.LoadFolder(qvbot::DiskFolder(QVBOT_STARTER));
    Answers(state, bot,
            {"Hello, is anybody there?", "How are you today?", "What's your name?",
             "My name is Ann.", "What is my name?", "I like green tea very much",
             "Tell me a joke", "where do you live", "Do you like coffee?",
             "something it has never heard of before", "bye"});
}
BENCHMARK(BM_AnswerStarterBot)->Unit(benchmark::kMicrosecond);

void BM_Answer50000Categories(benchmark::State& state) {
    std::vector<std::string> inputs;
    const auto folder = GenerateSet(inputs);
    qvbot::Bot bot(qvbot::Properties{{"name", "Bench"}});
    bot.LoadFolder(qvbot::DiskFolder(folder));
    Answers(state, bot, inputs);
}
BENCHMARK(BM_Answer50000Categories)->Unit(benchmark::kMicrosecond);

// Starts args[0] (looked for on the PATH) with its standard output thrown away.
pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The real executable with the starter bot on a free loopback port, for one benchmark's length.
class ServerProcess {
  public:
    explicit ServerProcess(std::vector<std::string> more = {}, const std::string& name = "") {
        const std::string port_file =
            std::filesystem::temp_directory_path() / ("qvbot-bench-port" + name);
        std::filesystem::remove(port_file);
        std::vector<std::string> args = {BOTSERVER_PATH, "--port", "0", "--port-file", port_file};
        if (more.empty()) more = {"--aiml", QVBOT_STARTER};
        args.insert(args.end(), more.begin(), more.end());
        pid_ = Spawn(args);
        for (int i = 0; i < 6000 && port_ == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            std::ifstream in(port_file);
            std::string line;
            if (std::getline(in, line) && !line.empty()) port_ = std::stoi(line);
        }
    }
    ~ServerProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    int Port() const { return port_; }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

long ProcessRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// A redis-server of the benchmark's own on a free loopback port, in a fresh folder, with the
// append-only file on as docs/botserver.md advises.
class RedisProcess {
  public:
    RedisProcess() {
        std::random_device seed;
        const auto folder = std::filesystem::temp_directory_path() / "qvbot-bench-redis";
        for (int attempt = 0; attempt < 10 && !context_; ++attempt) {
            std::filesystem::remove_all(folder);
            std::filesystem::create_directories(folder);
            port_ = 20000 + static_cast<int>(seed() % 40000);
            std::vector<std::string> args = {
                "redis-server", "--bind",        "127.0.0.1", "--port", std::to_string(port_),
                "--dir",        folder.string(), "--save",    "",       "--appendonly",
                "yes",          "--appendfsync", "everysec"};
            pid_ = Spawn(args);
            for (int i = 0; i < 200 && !context_ && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                redisContext* context = redisConnect("127.0.0.1", port_);
                if (context && !context->err) {
                    context_ = context;
                } else if (context) {
                    redisFree(context);
                }
            }
        }
    }
    ~RedisProcess() {
        if (context_) redisFree(context_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string Url() const { return "redis://127.0.0.1:" + std::to_string(port_); }
    // A number from a reply: an integer, or the number after `field` in INFO's text.
    long long Number(const std::vector<std::string>& command, const std::string& field = "") {
        std::vector<const char*> argv;
        std::vector<std::size_t> sizes;
        for (const auto& arg : command) {
            argv.push_back(arg.data());
            sizes.push_back(arg.size());
        }
        auto* reply = static_cast<redisReply*>(
            redisCommandArgv(context_, static_cast<int>(argv.size()), argv.data(), sizes.data()));
        long long n = -1;
        if (reply && reply->type == REDIS_REPLY_INTEGER) n = reply->integer;
        if (reply && reply->type == REDIS_REPLY_STRING && !field.empty()) {
            const std::string text(reply->str, reply->len);
            const std::size_t at = text.find(field);
            n = at == std::string::npos ? 0 : std::atoll(text.c_str() + at + field.size());
        }
        if (reply) freeReplyObject(reply);
        return n;
    }
    std::vector<std::string> Keys() {
        std::vector<std::string> keys;
        auto* reply = static_cast<redisReply*>(redisCommand(context_, "KEYS qvbot:*"));
        for (std::size_t i = 0; reply && i < reply->elements; ++i)
            keys.emplace_back(reply->element[i]->str, reply->element[i]->len);
        if (reply) freeReplyObject(reply);
        return keys;
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    redisContext* context_ = nullptr;
};

struct Timings {
    std::vector<double> millis;
    int answered = 0;
    void Report(benchmark::State& state, double seconds) {
        std::sort(millis.begin(), millis.end());
        state.counters["answered"] = answered;
        state.counters["answers_per_s"] = answered / seconds;
        state.counters["median_ms"] = millis.empty() ? -1 : millis[millis.size() / 2];
        state.counters["p99_ms"] = millis.empty() ? -1 : millis[millis.size() * 99 / 100];
    }
};

// `clients` clients post `posts` messages in all, each keeping its connection alive (or with a
// new connection per post when `reconnect`).
void Load(benchmark::State& state, int clients, int posts, bool reconnect,
          std::vector<int> ports = {}) {
    std::optional<ServerProcess> own;
    if (ports.empty()) ports = {own.emplace().Port()};
    Timings timings;
    for (auto _ : state) {
        std::vector<std::vector<double>> per_client(clients);
        std::vector<int> ok(clients, 0);
        std::vector<std::thread> threads;
        const auto start = Clock::now();
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                // Each client talks to the instances in turn, when there are several.
                auto client = std::make_unique<TalkClient>(ports[c % ports.size()]);
                const std::string token = "client" + std::to_string(c);
                for (int r = 0; r < posts / clients; ++r) {
                    if (reconnect && r > 0)
                        client = std::make_unique<TalkClient>(ports[(c + r) % ports.size()]);
                    const auto sent = Clock::now();
                    const std::string page = client->Post("botcust2=" + token + "&message=My%20name%20is%20Ann" + std::to_string(r));
                    per_client[c].push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                    ok[c] += page.find("<b>Kestro:</b> Nice to meet you") != std::string::npos;
                }
            });
        }
        for (auto& thread : threads) thread.join();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        for (int c = 0; c < clients; ++c) {
            timings.millis.insert(timings.millis.end(), per_client[c].begin(), per_client[c].end());
            timings.answered += ok[c];
        }
        timings.Report(state, seconds);
    }
}

// 20,000 posts from 200 concurrent clients, kept alive; then with a new connection per post.
void BM_TwoHundredClientsKeptAlive(benchmark::State& state) { Load(state, 200, 20000, false); }
BENCHMARK(BM_TwoHundredClientsKeptAlive)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
void BM_TwoHundredClientsConnectingPerPost(benchmark::State& state) { Load(state, 200, 20000, true); }
BENCHMARK(BM_TwoHundredClientsConnectingPerPost)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 500 clients that send their request a byte a second, beside 20 normal ones posting for 12 s:
// the normal ones' answers stay quick, and the slow ones are cut at the 10 s deadline.
void FiveHundredSlowClients(benchmark::State& state, bool redis_store) {
    std::optional<RedisProcess> redis;
    if (redis_store) redis.emplace();
    ServerProcess server(
        redis ? std::vector<std::string>{"--aiml", QVBOT_STARTER, "--store", redis->Url()}
              : std::vector<std::string>{});
    for (auto _ : state) {
        boost::asio::io_context context;
        std::vector<tcp::socket> slow;
        for (int i = 0; i < 500; ++i) {
            slow.emplace_back(context);
            slow.back().connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(server.Port())));
        }
        const std::string request = "POST /pandora/talk HTTP/1.1\r\nHost: x\r\nContent-Length: 40\r\n\r\n";
        std::atomic<bool> done = false;
        std::atomic<int> cut = 0;
        std::atomic<double> cut_after_s = 0;
        const auto start = Clock::now();
        std::thread dripping([&] {
            std::vector<char> open(slow.size(), 1);
            for (std::size_t byte = 0; !done && byte < request.size(); ++byte) {
                for (std::size_t i = 0; i < slow.size(); ++i) {
                    if (!open[i]) continue;
                    beast::error_code error;
                    boost::asio::write(slow[i], boost::asio::buffer(&request[byte], 1), error);
                    if (error) {
                        open[i] = 0;
                        ++cut;
                        cut_after_s = std::chrono::duration<double>(Clock::now() - start).count();
                    }
                }
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
        });
        std::vector<std::vector<double>> per_client(20);
        std::vector<int> ok(20, 0);
        std::vector<std::thread> normal;
        for (int c = 0; c < 20; ++c) {
            normal.emplace_back([&, c] {
                TalkClient client(server.Port());
                while (Clock::now() - start < std::chrono::seconds(12)) {
                    const auto sent = Clock::now();
                    const std::string page = client.Post("botcust2=n" + std::to_string(c) + "&message=hello");
                    per_client[c].push_back(std::chrono::duration<double, std::milli>(Clock::now() - sent).count());
                    ok[c] += page.find("Hello there.") != std::string::npos;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
        }
        for (auto& thread : normal) thread.join();
        // A write into a closed connection fails at the second try: two more seconds of drip.
        std::this_thread::sleep_for(std::chrono::seconds(2));
        done = true;
        dripping.join();
        Timings timings;
        for (int c = 0; c < 20; ++c) {
            timings.millis.insert(timings.millis.end(), per_client[c].begin(), per_client[c].end());
            timings.answered += ok[c];
        }
        timings.Report(state, 12);
        state.counters["slow_cut"] = cut.load();
        state.counters["last_cut_after_s"] = cut_after_s.load();
    }
}
BENCHMARK_CAPTURE(FiveHundredSlowClients, InMemory, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(FiveHundredSlowClients, Redis, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// 100,000 posts with fresh tokens from one client cannot push out the conversations that others
// used in the last 30 minutes.
void FreshTokensDoNotEvictLiveConversations(benchmark::State& state, bool redis_store) {
    std::optional<RedisProcess> redis;
    if (redis_store) redis.emplace();
    ServerProcess server(
        redis ? std::vector<std::string>{"--aiml", QVBOT_STARTER, "--store", redis->Url()}
              : std::vector<std::string>{});
    for (auto _ : state) {
        TalkClient people(server.Port());
        for (int i = 0; i < 50; ++i) people.Post("botcust2=person" + std::to_string(i) + "&message=My%20name%20is%20P" + std::to_string(i));
        TalkClient flood(server.Port());
        const auto start = Clock::now();
        int answered = 0;
        for (int i = 0; i < 100000; ++i) {
            answered += !flood.Post("botcust2=fresh" + std::to_string(i) + "&message=hi").empty();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        // A connection idle for longer than the request deadline is closed: the people come back.
        TalkClient back(server.Port());
        int remembered = 0;
        for (int i = 0; i < 50; ++i) {
            remembered +=
                back.Post("botcust2=person" + std::to_string(i) +
                          "&message=What%20is%20my%20name%3F")
                    .find("Your name is P" + std::to_string(i) + ".") != std::string::npos;
        }
        state.counters["flood_answered"] = answered;
        state.counters["flood_per_s"] = answered / seconds;
        state.counters["live_remembered_of_50"] = remembered;
    }
}
BENCHMARK_CAPTURE(FreshTokensDoNotEvictLiveConversations, InMemory, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK_CAPTURE(FreshTokensDoNotEvictLiveConversations, Redis, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

// Two instances sharing one Redis, 200 kept-alive clients each talking to both in turn; then
// Redis's memory per conversation and the commands an answer took.
void BM_TwoInstancesAndRedis(benchmark::State& state) {
    RedisProcess redis;
    const std::vector<std::string> options = {"--aiml", QVBOT_STARTER, "--store", redis.Url()};
    ServerProcess one(options, "1"), two(options, "2");
    // A round trip is one command from the server: the read, the script that writes.
    const auto round_trips = [&] {
        return redis.Number({"INFO", "commandstats"}, "cmdstat_hmget:calls=") +
               redis.Number({"INFO", "commandstats"}, "cmdstat_eval:calls=");
    };
    const long long before = round_trips();
    Load(state, 200, 20000, false, {one.Port(), two.Port()});
    const double answered = state.counters["answered"];
    state.counters["redis_round_trips_per_answer"] =
        static_cast<double>(round_trips() - before) / answered;
    std::vector<long long> bytes;
    for (const auto& key : redis.Keys())
        bytes.push_back(redis.Number({"MEMORY", "USAGE", key, "SAMPLES", "0"}));
    std::sort(bytes.begin(), bytes.end());
    state.counters["conversations"] = static_cast<double>(bytes.size());
    state.counters["redis_bytes_median"] =
        bytes.empty() ? -1 : static_cast<double>(bytes[bytes.size() / 2]);
    state.counters["redis_bytes_worst"] = bytes.empty() ? -1 : static_cast<double>(bytes.back());
}
BENCHMARK(BM_TwoInstancesAndRedis)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// 20 bots of 5,000 generated categories each, loaded side by side at the server's start: the time
// until it listens and its resident memory then.
void BM_Load20BotsAtStart(benchmark::State& state) {
    const auto folder = std::filesystem::temp_directory_path() / "qvbot-bench-bots";
    std::filesystem::remove_all(folder);
    std::mt19937 random(7);
    for (int b = 0; b < 20; ++b) {
        const auto bot = folder / ("bot" + std::to_string(b));
        std::filesystem::create_directories(bot);
        std::ofstream(bot / "bot.properties")
            << "botid = bench" << b << "\nname = Bench" << b << "\n";
        std::ofstream out(bot / "set.aiml");
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<aiml version=\"1.0.1\">\n";
        for (int i = 0; i < 5000; ++i) {
            out << "<category><pattern>" << Word(random) << " " << Word(random) << " "
                << Word(random) << " *</pattern><template>Answer " << i
                << " about <star/>.</template></category>\n";
        }
        out << "</aiml>\n";
    }
    for (auto _ : state) {
        const auto start = Clock::now();
        ServerProcess server({"--bots", folder.string()});
        state.counters["start_s"] = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["rss_MB"] = static_cast<double>(ProcessRssKb(server.Pid())) / 1024.0;
        if (server.Port() == 0) state.SkipWithError("the server did not start");
    }
}
BENCHMARK(BM_Load20BotsAtStart)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
