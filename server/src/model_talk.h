// A talk message answered by a bot whose templates may ask a language model: the engine runs on
// the conversation, each request it reports goes to the model, and the engine runs again with the
// answers given, until it answers. No thread waits for a model meanwhile.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "model_client.h"
#include "qvbot/bot.h"
#include "qvbot/model.h"
#include "store.h"

namespace qvbot {

class ModelTalk {
  public:
    // Runs work on the server's threads, so that the store is never used from the client's.
    using Post = std::function<void(std::function<void()>)>;
    // The answer, or nullopt when the store cannot be reached.
    using Done = std::function<void(std::optional<std::string>)>;

    ModelTalk(ConversationStore& store, ModelClient& client, Post post)
        : store_(store), client_(client), post_(std::move(post)) {}

    void Answer(std::shared_ptr<const Bot> bot, std::shared_ptr<const ModelServices> services,
                std::string token, std::string message, Done done);

  private:
    struct Job;
    void Round(const std::shared_ptr<Job>& job);

    ConversationStore& store_;
    ModelClient& client_;
    Post post_;
};

}  // namespace qvbot
