#include "model_standin.h"

#include <nlohmann/json.hpp>

namespace qvbot::testing {
namespace {

using nlohmann::json;

// The user turns of a well-formed request, joined; nullopt when a check fails.
std::optional<std::string> HeardTurns(const std::string& body, const StandInSettings& settings,
                                      std::string& last) {
    const json request = json::parse(body, nullptr, false);
    if (request.is_discarded() || request.value("model", "") != settings.model) return std::nullopt;
    const json messages = request.value("messages", json::array());
    if (messages.size() % 2 != 0 || messages.empty() || messages[0].value("role", "") != "system" ||
        messages[0].value("content", "").find(settings.persona) == std::string::npos) {
        return std::nullopt;
    }
    std::string heard;
    for (std::size_t i = 1; i < messages.size(); ++i) {
        if (messages[i].value("role", "") != (i % 2 ? "user" : "assistant")) return std::nullopt;
        if (i % 2 == 0) continue;
        last = messages[i].value("content", "");
        heard += (heard.empty() ? "" : " | ") + last;
    }
    return heard;
}

web::Response Answer(const std::string& text) {
    const json reply = {
        {"choices", json::array({{{"message", {{"role", "assistant"}, {"content", text}}}}})}};
    return {200, "application/json", reply.dump()};
}

}  // namespace

web::Handler StandInModel(web::Server& server, StandInSettings settings) {
    return [&server, settings](const web::Request& request, web::Reply reply) {
        if (request.target == "/__quit") {
            reply({200, "text/plain", "ok\n"});
            return server.After(std::chrono::milliseconds(100), [&server] { server.Stop(); });
        }
        std::string last;
        const auto heard = HeardTurns(request.body, settings, last);
        web::Response response;
        if (request.method != "POST" || !heard) {
            response = {400, "text/plain", "not the chat request expected\n"};
        } else if (last.starts_with("fail")) {
            // An answer in the form asked for, so that only its status tells the failure.
            response = Answer("the model failed");
            response.status = 500;
        } else if (last.starts_with("garbage")) {
            response = {200, "application/json", R"({"choices":[{"message":{"content":"cut sh)"};
        } else {
            response =
                Answer(last.starts_with("long") ? std::string(5000, 'x') : "heard: " + *heard);
        }
        const auto delay =
            last.starts_with("slow") ? std::chrono::milliseconds(3000) : settings.delay;
        if (delay.count() == 0) return reply(std::move(response));
        server.After(delay, [reply, response] { reply(response); });
    };
}

}  // namespace qvbot::testing
