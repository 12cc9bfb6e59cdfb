#include "model_talk.h"

namespace qvbot {

struct ModelTalk::Job {
    std::shared_ptr<const Bot> bot;
    std::shared_ptr<const ModelServices> services;
    std::string token;
    std::string message;
    Done done;
    SraixAnswers given;
};

void ModelTalk::Answer(std::shared_ptr<const Bot> bot,
                       std::shared_ptr<const ModelServices> services, std::string token,
                       std::string message, Done done) {
    Round(std::make_shared<Job>(Job{std::move(bot),
                                    std::move(services),
                                    std::move(token),
                                    std::move(message),
                                    std::move(done),
                                    {}}));
}

void ModelTalk::Round(const std::shared_ptr<Job>& job) {
    std::optional<SraixRequest> pending;
    const ModelService* service = nullptr;
    std::string body;
    const auto said =
        store_.Answer(job->bot->properties().at("botid"), job->token, [&](Conversation& c) {
            Reply reply = job->bot->Respond(c, job->message, job->given);
            pending = std::move(reply.pending);
            // The request is made here, from this conversation alone, as it was before the message.
            if (pending && (service = FindService(*job->services, pending->service))) {
                body = ChatRequest(*service, job->bot->properties(), c, pending->text);
            }
            return reply.answer;
        });
    if (!said || !pending) return job->done(said);
    if (!service) {
        // A service the folder does not name fails at once; the engine bounds the rounds.
        job->given.emplace_back();
        return Round(job);
    }
    client_.Ask(*service, std::move(body), [this, job](std::optional<std::string> answer) {
        job->given.push_back(std::move(answer));
        post_([this, job] { Round(job); });
    });
}

}  // namespace qvbot
