// The bot server's store of conversations, one per token.
#include <gtest/gtest.h>

#include "conversations.h"

namespace qvbot {
namespace {

TEST(Conversations, KeepsTheMostRecentlyUsedUpToItsCapacity) {
    Conversations store(3, 1);
    const auto touch = [&](const std::string& token) {
        return store.With(token, [](Conversation& c) { return (c.predicates["n"] += "x").size(); });
    };
    for (const char* token : {"a", "b", "c", "a", "d"}) touch(token);  // b was least recently used
    EXPECT_EQ(store.Size(), 3u);
    EXPECT_EQ(touch("a"), 3u);  // kept its state
    EXPECT_EQ(touch("b"), 1u);  // dropped, so new again
    EXPECT_EQ(touch(std::string(200, 't')), 1u);
    EXPECT_EQ(touch(std::string(kMaxTokenChars, 't')), 2u);  // the same conversation
}

}  // namespace
}  // namespace qvbot
