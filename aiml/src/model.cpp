#include "qvbot/model.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "qvbot/folder.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxServicesBytes = 64 * 1024;

std::string Sentences(const std::vector<std::string>& sentences) {
    return JoinWords(sentences);
}

// Some local models think aloud first, between <think> tags; only what follows is their answer.
std::string_view AfterThinking(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos || text.substr(start, 7) != "<think>") return text;
    const std::size_t end = text.find("</think>", start);
    return end == std::string_view::npos ? std::string_view() : text.substr(end + 8);
}

// Reads one service's settings; false with the reason when they cannot be used.
bool ReadService(const std::string& name, const json& entry, ModelService& service,
                 std::string& why) {
    const auto fail = [&](std::string reason) {
        why = std::move(reason);
        return false;
    };
    if (!entry.is_object()) return fail("is not an object");
    service.name = name;
    for (const auto& [key, value] : entry.items()) {
        if (key == "url" && value.is_string()) {
            service.url = value.get<std::string>();
        } else if (key == "model" && value.is_string()) {
            service.model = value.get<std::string>();
        } else if (key == "api_key_env" && value.is_string()) {
            // The key itself stays out of the file, which is shared with the bot.
            if (const char* key_value = std::getenv(value.get<std::string>().c_str())) {
                service.api_key = key_value;
            }
        } else if (key == "time_limit_ms" && value.is_number_integer() &&
                   value.get<long long>() >= 100 && value.get<long long>() <= 120'000) {
            service.time_limit_ms = value.get<int>();
        } else if (key == "max_answer_chars" && value.is_number_integer() &&
                   value.get<long long>() >= 1 && value.get<long long>() <= 4000) {
            service.max_answer_chars = value.get<std::size_t>();
        } else {
            return fail("\"" + key + "\" is unknown or out of range");
        }
    }
    if (!ParseServiceUrl(service.url)) return fail("needs an http:// or https:// \"url\"");
    if (service.model.empty()) return fail("needs a \"model\"");
    return true;
}

}  // namespace

const ModelService* FindService(const ModelServices& services, std::string_view name) {
    for (const ModelService& service : services) {
        if (service.name == name) return &service;
    }
    return nullptr;
}

ModelServices ReadServices(std::string_view file, std::string_view text,
                           std::vector<std::string>& errors) {
    ModelServices services;
    const json root = json::parse(text, nullptr, false);
    if (root.is_discarded() || !root.is_object() || !root.contains("services") ||
        !root["services"].is_object()) {
        errors.push_back(std::string(file) + ": not JSON of the form {\"services\": {...}}");
        return services;
    }
    for (const auto& [name, entry] : root["services"].items()) {
        ModelService service;
        std::string why;
        if (ReadService(name, entry, service, why)) {
            services.push_back(std::move(service));
        } else {
            errors.push_back(std::string(file) + ": service \"" + name + "\" " + why);
        }
    }
    return services;
}

ModelServices LoadServices(const FolderReader& folder, std::string_view name,
                           std::vector<std::string>& errors) {
    std::optional<std::string> path;
    folder.List("", [&](const std::string& entry, bool isFolder) {
        if (!path && !isFolder && Lower(entry) == kServicesFile) path = entry;
    });
    if (!path) return {};
    const std::string shown = name.empty() ? *path : std::string(name) + "/" + *path;
    std::string text;
    if (!folder.Read(*path, text, kMaxServicesBytes)) {
        errors.push_back(shown + ": cannot be read, or is larger than 64 KiB");
        return {};
    }
    return ReadServices(shown, text, errors);
}

std::vector<Exchange> RecentExchanges(const Conversation& conversation) {
    // An input holds a message's sentences; each sentence had an answer of its own, the latest
    // first, so the answers are taken back in step.
    std::vector<Exchange> exchanges;
    std::size_t bytes = 0, answer = 0;
    for (const auto& input : conversation.inputs) {
        if (exchanges.size() == kModelExchanges ||
            answer + input.size() > conversation.answers.size())
            break;
        Exchange exchange{Sentences(input), {}};
        std::vector<std::string> answered;
        for (std::size_t i = answer + input.size(); i-- > answer;) {
            answered.push_back(Sentences(conversation.answers[i]));
        }
        answer += input.size();
        exchange.answered = JoinWords(answered);
        bytes += exchange.said.size() + exchange.answered.size();
        if (bytes > kModelHistoryBytes) break;
        exchanges.push_back(std::move(exchange));
    }
    std::reverse(exchanges.begin(), exchanges.end());
    return exchanges;
}

std::string ChatRequest(const ModelService& service, const Properties& properties,
                        const Conversation& conversation, std::string_view text) {
    const auto property = [&](const char* key, const char* otherwise) {
        const auto it = properties.find(key);
        return it == properties.end() ? std::string(otherwise) : it->second;
    };
    std::string persona = "You are " + property("name", "a chat robot") + ", a " +
                          property("species", "robot") +
                          " answering instant messages. Answer briefly, in plain text.";
    // Whatever else the bot says of itself: age, gender, where it is, what it likes.
    for (const auto& [key, value] : properties) {
        if (key != "name" && key != "botid" && key != "species")
            persona += " Your " + key + ": " + value + ".";
    }
    json messages = json::array({{{"role", "system"}, {"content", persona}}});
    for (const Exchange& exchange : RecentExchanges(conversation)) {
        messages.push_back({{"role", "user"}, {"content", exchange.said}});
        messages.push_back({{"role", "assistant"}, {"content", exchange.answered}});
    }
    messages.push_back({{"role", "user"}, {"content", std::string(text)}});
    const json request = {{"model", service.model}, {"messages", messages}, {"stream", false}};
    return request.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string ChatHeaders(const ModelService& service) {
    std::string headers = "Content-Type: application/json\r\n";
    if (!service.api_key.empty()) headers += "Authorization: Bearer " + service.api_key + "\r\n";
    return headers;
}

std::optional<std::string> ChatAnswer(std::string_view body, std::size_t max_chars) {
    const json root = json::parse(body, nullptr, false);
    if (root.is_discarded() || !root.is_object()) return std::nullopt;
    const auto choices = root.find("choices");
    if (choices == root.end() || !choices->is_array() || choices->empty()) return std::nullopt;
    const json& first = choices->front();
    if (!first.is_object() || !first.contains("message") || !first["message"].is_object())
        return std::nullopt;
    const json& message = first["message"];
    const auto content = message.find("content");
    if (content == message.end() || !content->is_string()) return std::nullopt;
    std::string text = CollapseSpace(AfterThinking(content->get_ref<const std::string&>()));
    if (text.empty()) return std::nullopt;
    return CutUtf8(text, max_chars);
}

std::optional<ServiceUrl> ParseServiceUrl(std::string_view url) {
    ServiceUrl parts;
    const std::string scheme = Lower(url.substr(0, url.find("://")));
    if (url.find("://") == std::string_view::npos || (scheme != "http" && scheme != "https")) {
        return std::nullopt;
    }
    parts.https = scheme == "https";
    std::string_view rest = url.substr(url.find("://") + 3);
    const std::size_t slash = rest.find_first_of("/?");
    std::string_view authority = rest.substr(0, slash);
    parts.target = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    if (parts.target.front() == '?') parts.target.insert(0, "/");
    const std::size_t colon = authority.rfind(':');
    parts.port = parts.https ? "443" : "80";
    if (colon != std::string_view::npos) {
        parts.port = std::string(authority.substr(colon + 1));
        authority = authority.substr(0, colon);
        if (parts.port.empty() || parts.port.size() > 5 ||
            !std::all_of(parts.port.begin(), parts.port.end(),
                         [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(parts.port) == 0 || std::stoi(parts.port) > 65535) {
            return std::nullopt;
        }
    }
    if (authority.empty() || authority.find_first_of("@ []") != std::string_view::npos)
        return std::nullopt;
    parts.host = std::string(authority);
    return parts;
}

}  // namespace qvbot
