// Requests to the language models behind <sraix>, through Boost.Beast's client: every request is
// asynchronous on one I/O thread of the client's own, so no thread waits while a model thinks,
// and at most `max_in_flight` run at once; the rest fail at once (their default answers).
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "qvbot/model.h"

namespace qvbot {

class ModelClient {
  public:
    // The model's answer as plain text, or nullopt for any failure: refused, out of time, a
    // status other than 2xx, an answer that is not the JSON asked for.
    using Done = std::function<void(std::optional<std::string>)>;

    explicit ModelClient(int max_in_flight);
    ~ModelClient();
    ModelClient(const ModelClient&) = delete;
    ModelClient& operator=(const ModelClient&) = delete;

    // Posts `body` (the chat request's JSON) to the service; `done` is called once, on the
    // client's thread, or at once on the caller's when too many are in flight.
    void Ask(const ModelService& service, std::string body, Done done);
    int InFlight() const { return in_flight_; }

    struct State;

  private:
    const int max_in_flight_;
    std::atomic<int> in_flight_{0};
    std::shared_ptr<State> state_;
};

}  // namespace qvbot
