// The language models a bot's <sraix service="NAME"> asks: OpenAI-compatible chat endpoints that
// the bot folder's services.json names. What goes to a model and what comes back, without I/O:
// the bot server and quorvanel.exe each send the request their own way.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qvbot/bot.h"

namespace qvbot {

class FolderReader;

inline constexpr char kServicesFile[] = "services.json";
// The conversation a model is shown: its latest exchanges, at most this many and these bytes.
inline constexpr std::size_t kModelExchanges = 10;
inline constexpr std::size_t kModelHistoryBytes = 4096;

struct ModelService {
    std::string name;
    std::string url;  // http:// or https://, the chat completions endpoint itself
    std::string model;
    std::string api_key;         // read from the environment variable the file names; never logged
    int time_limit_ms = 15'000;  // under the 20 s Quorvanel waits for a bot server's page
    std::size_t max_answer_chars = 400;
};
using ModelServices = std::vector<ModelService>;

// The service of that name; null when there is none.
const ModelService* FindService(const ModelServices& services, std::string_view name);

// services.json's text: {"services": {"NAME": {"url": ..., "model": ..., "api_key_env": ...,
// "time_limit_ms": ..., "max_answer_chars": ...}}}. A service with a fault is reported as
// "file: what is wrong" and left out.
ModelServices ReadServices(std::string_view file, std::string_view text,
                           std::vector<std::string>& errors);
// The folder's services.json; none when it has none.
ModelServices LoadServices(const FolderReader& folder, std::string_view name,
                           std::vector<std::string>& errors);

struct Exchange {
    std::string said;
    std::string answered;
};
// The conversation's latest exchanges within the bounds above, oldest first.
std::vector<Exchange> RecentExchanges(const Conversation& conversation);

// The chat request's JSON: the persona (from the bot's properties), this conversation's recent
// exchanges, and the request's text last.
std::string ChatRequest(const ModelService& service, const Properties& properties,
                        const Conversation& conversation, std::string_view text);
// The request's header lines, each ending in CR LF.
std::string ChatHeaders(const ModelService& service);
// The answer in a chat response's JSON as plain text on one line, cut at `max_chars`; nullopt
// when the JSON is malformed or holds no answer.
std::optional<std::string> ChatAnswer(std::string_view body, std::size_t max_chars);

struct ServiceUrl {
    bool https = false;
    std::string host;
    std::string port;
    std::string target;  // path and query, at least "/"
};
std::optional<ServiceUrl> ParseServiceUrl(std::string_view url);

}  // namespace qvbot
