// The bot server's figures: loading 50,000 generated categories, the time of one answer with the
// starter bot and with those categories (median and 99th percentile), and 200 requests from 20
// concurrent clients against the real executable on the loopback.
#include <benchmark/benchmark.h>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bot.h"

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
        const qvbot::LoadReport report = bot->LoadFolder(folder);
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
    bot.LoadFolder(QVBOT_STARTER);
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
    bot.LoadFolder(folder);
    Answers(state, bot, inputs);
}
BENCHMARK(BM_Answer50000Categories)->Unit(benchmark::kMicrosecond);

// 20 clients, 10 requests each, against the real executable with the starter bot.
void BM_TwentyConcurrentClients(benchmark::State& state) {
    const std::string port_file = std::filesystem::temp_directory_path() / "qvbot-bench-port";
    std::filesystem::remove(port_file);
    std::vector<std::string> args = {BOTSERVER_PATH, "--aiml",      QVBOT_STARTER, "--port",
                                     "0",            "--port-file", port_file};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn(&pid, BOTSERVER_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int port = 0;
    for (int i = 0; i < 500 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::ifstream in(port_file);
        std::string line;
        if (std::getline(in, line) && !line.empty()) port = std::stoi(line);
    }
    std::vector<double> millis;
    int answered = 0;
    for (auto _ : state) {
        std::vector<std::vector<double>> per_client(20);
        std::vector<int> ok(20, 0);
        std::vector<std::thread> clients;
        for (int c = 0; c < 20; ++c) {
            clients.emplace_back([&, c] {
                TalkClient client(port);
                const std::string token = "client" + std::to_string(c);
                for (int r = 0; r < 10; ++r) {
                    const auto start = Clock::now();
                    const std::string page = client.Post("botcust2=" + token + "&message=My%20name%20is%20Ann" + std::to_string(r));
                    per_client[c].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                    ok[c] += page.find("<b>Kestro:</b> Nice to meet you") != std::string::npos;
                }
            });
        }
        for (auto& client : clients) client.join();
        for (int c = 0; c < 20; ++c) {
            millis.insert(millis.end(), per_client[c].begin(), per_client[c].end());
            answered += ok[c];
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    std::sort(millis.begin(), millis.end());
    state.counters["answered"] = answered;
    state.counters["median_ms"] = millis.empty() ? -1 : millis[millis.size() / 2];
    state.counters["worst_ms"] = millis.empty() ? -1 : millis.back();
}
BENCHMARK(BM_TwentyConcurrentClients)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
