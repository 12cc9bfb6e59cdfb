// An OpenAI-compatible chat endpoint for the tests, on the bot server's own HTTP front. It checks
// each request: the model it was told, a system message first that names the persona, then user
// and assistant turns by turns, a user turn last; a request that fails a check gets a 400. It
// answers by the last user turn's first word: "slow" after 3 s, "fail" with a 500, "garbage" with
// JSON cut short, "long" with 5,000 characters; anything else with "heard:" and every user turn
// of the request, so a test sees which turns reached it. POST /__quit stops it.
#pragma once

#include <chrono>
#include <string>

#include "http_server.h"

namespace qvbot::testing {

struct StandInSettings {
    std::string model = "standin";
    std::string persona = "Kestro";      // looked for in the system message
    std::chrono::milliseconds delay{0};  // before every answer
};

web::Handler StandInModel(web::Server& server, StandInSettings settings);

}  // namespace qvbot::testing
