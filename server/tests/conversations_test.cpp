// The bot server's store of conversations, one per token.
#include "conversations.h"

#include <gtest/gtest.h>


namespace qvbot {
namespace {

TEST(Conversations, KeepsTheMostRecentlyUsedButNeverDropsALiveOne) {
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    Conversations store(3, 1, [&] { return now; });
    const auto touch = [&](const std::string& token) {
        return store.With(token, [](Conversation& c) { return (c.predicates["n"] += "x").size(); });
    };
    for (const char* token : {"a", "b", "c"}) touch(token);
    now += std::chrono::minutes(29);
    touch("a");
    // b and c rested 29 minutes: still live, so new tokens are answered without memory.
    for (int i = 0; i < 100; ++i) EXPECT_EQ(touch("new" + std::to_string(i)), 1u);
    EXPECT_EQ(touch("new0"), 1u);
    EXPECT_EQ(store.Size(), 3u);
    now += std::chrono::minutes(2);  // b and c have rested 31 minutes now, a only 2
    touch("d");                      // takes b's place, the least recently used
    touch("e");                      // and c's
    EXPECT_EQ(touch("a"), 3u);       // kept its state
    EXPECT_EQ(touch("d"), 2u);
    EXPECT_EQ(touch("b"), 1u);       // dropped: new again, without a place
    EXPECT_EQ(touch(std::string(200, 't')), 1u);  // no place for it
    now += std::chrono::minutes(31);
    touch(std::string(200, 't'));
    EXPECT_EQ(touch(std::string(kMaxTokenChars, 't')), 2u);  // cut to the same token
}

}  // namespace
}  // namespace qvbot
