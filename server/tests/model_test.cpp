// Talk messages answered through a stand-in model on the loopback: the bot server's rounds, its
// client, and what each conversation shows the model.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "model_client.h"
#include "model_standin.h"
#include "model_talk.h"
#include "qvbot/properties.h"
#include "sync.h"

namespace qvbot {
namespace {

using namespace std::chrono_literals;

constexpr char kAiml[] = R"(<aiml>
<category><pattern>HELLO</pattern><template>Hi.</template></category>
<category><pattern>*</pattern><template><sraix service="local" default="No model."><star/></sraix></template></category>
<category><pattern>NOWHERE *</pattern><template>Still <sraix service="nowhere"><star/></sraix>here.</template></category>
</aiml>)";

class ModelTalkTest : public ::testing::Test {
  protected:
    ModelTalkTest()
        : standin_(
              [this](const web::Request& r, web::Reply reply) { handler_(r, std::move(reply)); },
              {}, 2) {
        handler_ = testing::StandInModel(standin_, {});
        std::string error;
        EXPECT_TRUE(standin_.Listen("127.0.0.1", 0, error)) << error;
        thread_ = sync::Thread([this] { standin_.Run(); });
        Properties properties = DefaultProperties();
        auto bot = std::make_shared<Bot>(properties);
        LoadReport report;
        bot->LoadText("test.aiml", kAiml, report);
        bot_ = bot;
        ModelService service{
            "local",
            "http://127.0.0.1:" + std::to_string(standin_.Port()) + "/v1/chat/completions",
            "standin",
            "",
            1000,
            40};
        services_ = std::make_shared<ModelServices>(ModelServices{service});
    }
    ~ModelTalkTest() override {
        standin_.Stop();
        thread_.join();
    }

    std::string Say(ModelTalk& talk, const std::string& token, const std::string& text) {
        std::promise<std::string> said;
        talk.Answer(bot_, services_, token, text, [&](std::optional<std::string> answer) {
            said.set_value(answer.value_or("(busy)"));
        });
        auto future = said.get_future();
        return future.wait_for(10s) == std::future_status::ready ? future.get() : "(no answer)";
    }

    web::Handler handler_;
    web::Server standin_;
    sync::Thread thread_;
    std::shared_ptr<const Bot> bot_;
    std::shared_ptr<ModelServices> services_;
    MemoryStore store_{1};
};

TEST_F(ModelTalkTest, EachConversationShowsTheModelItsOwnTurnsAndFailuresFallBackToTheDefault) {
    ModelClient client(8);
    ModelTalk talk(store_, client, [](std::function<void()> f) { f(); });
    EXPECT_EQ(Say(talk, "ann", "hello"), "Hi.");
    EXPECT_EQ(Say(talk, "ann", "my cat is Tom"), "heard: hello | my cat is Tom");
    EXPECT_EQ(Say(talk, "bob", "what did she say"), "heard: what did she say");
    // The model's answers are the conversation's too.
    EXPECT_EQ(Say(talk, "ann", "and then"), "heard: hello | my cat is Tom | and then");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Say(talk, "bob", "slow answer"), "No model.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
    EXPECT_EQ(Say(talk, "bob", "fail now"), "No model.");
    EXPECT_EQ(Say(talk, "bob", "garbage please"), "No model.");
    EXPECT_EQ(Say(talk, "bob", "long answer"), std::string(40, 'x'));
    EXPECT_EQ(Say(talk, "bob", "nowhere at all"), "Still here.");
    services_->front().url = "http://127.0.0.1:1/v1/chat/completions";  // refused
    EXPECT_EQ(Say(talk, "bob", "anyone"), "No model.");
}

TEST_F(ModelTalkTest, PastTheRequestsInFlightTheDefaultAnswersAtOnce) {
    ModelClient client(1);
    ModelTalk talk(store_, client, [](std::function<void()> f) { f(); });
    std::promise<std::string> slow;
    talk.Answer(bot_, services_, "ann", "slow one",
                [&](std::optional<std::string> a) { slow.set_value(*a); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Say(talk, "bob", "hi there"), "No model.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    EXPECT_EQ(slow.get_future().get(), "No model.");
    EXPECT_EQ(Say(talk, "bob", "again"), "heard: hi there | again");
}

}  // namespace
}  // namespace qvbot
