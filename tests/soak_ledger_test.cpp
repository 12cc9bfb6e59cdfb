// The soak test's judge must see every kind of wrong answer, or a passing soak run proves nothing.
#include "e2e/soak_ledger.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvanel::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

const std::string M = std::string(1, kSoakMarker);
const std::string kError =
    "ERROR: I can't seem to access the website from which I get my responses. Please ensure you "
    "are connected and that your Internet Explorer connection settings are correct.";

std::string Says(const std::string& who, const std::string& text) {
    return who + " says:\r\n  " + text + "\r\n";
}
std::string Ann(int id, bool answerable = true) {
    return Says("Ann", SoakMessageText(id, answerable));
}
std::string Me(const std::string& text) {
    return Says("Me", text + M);
}
SoakPost Post(int id, long long ms = 1000) {
    return {ms, "botcust2=0123456789abcdef&message=say%20m" + std::to_string(id)};
}

SoakWindow Window(std::vector<SoakBurst> bursts, std::string history) {
    SoakWindow window;
    window.contact = "Ann";
    window.bursts = std::move(bursts);
    window.history = std::move(history);
    return window;
}

std::vector<std::string> Verify(const SoakWindow& window, const std::vector<SoakPost>& posts) {
    return VerifySoakWindow("Ann#1", window, posts, 3000);
}

TEST(SoakLedger, AWellAnsweredWindowHasNoProblems) {
    // An echo, a two-message burst answered about its latest, a marker line left alone, the error
    // line after a failed request, a canned line that needs no request.
    const SoakWindow window =
        Window({{{1}, true, true},
                {{2, 3}, true, true},
                {{4}, false, false},
                {{5}, true, true},
                {{6}, true, true}},
               Ann(1) + Me("m1") + Ann(2) + Ann(3) + Me("m3") + Ann(4, false) + Ann(5) +
                   Me(kError) + Ann(6) + Me("Check this: http://www.example.com/quorvanel/"));
    EXPECT_THAT(Verify(window, {Post(1), Post(3), Post(5)}), IsEmpty());
    EXPECT_EQ(RepliesAfterLastBurst(window), 1);
}

TEST(SoakLedger, WrongAnswersAreEachReported) {
    EXPECT_THAT(Verify(Window({{{1}, true, true}}, Ann(1) + Me("m1") + Me("m1")), {Post(1)}),
                ElementsAre(HasSubstr("m1 answered 2 times")));
    EXPECT_THAT(Verify(Window({{{1}, true, true}}, Ann(1)), {Post(1)}),
                ElementsAre(HasSubstr("m1 never answered")));
    EXPECT_THAT(Verify(Window({{{1}, true, false}}, Ann(1)), {Post(1)}),
                IsEmpty());  // closed first
    EXPECT_THAT(
        Verify(Window({{{1}, true, true}}, Ann(1) + Me("m77")), {Post(1)}),
        ElementsAre(HasSubstr("another window's message: m77"), HasSubstr("m1 never answered")));
    EXPECT_THAT(Verify(Window({{{1, 2}, true, true}}, Ann(1) + Ann(2) + Me("m1")), {Post(1)}),
                ElementsAre(HasSubstr("m1 answered out of turn"), HasSubstr("m2 never answered"),
                            HasSubstr("asked about m1, not the latest")));
    EXPECT_THAT(
        Verify(Window({{{1}, false, false}}, Ann(1, false) + Me(kError)), {}),
        ElementsAre(HasSubstr("ends in the marker but was answered"), HasSubstr("without asking")));
    EXPECT_THAT(Verify(Window({{{1}, true, true}}, Ann(1) + Says("Me", "m1")), {Post(1)}),
                ElementsAre(HasSubstr("without the marker")));
    EXPECT_THAT(
        Verify(Window({{{1}, true, true}}, Me("hi") + Ann(1) + Me("Tell me more.")), {Post(1)}),
        ElementsAre(HasSubstr("before the contact said anything"), HasSubstr("unexpected reply"),
                    HasSubstr("m1 never answered")));
}

TEST(SoakLedger, BotRequestsAreAccountedFor) {
    const SoakWindow answered = Window({{{1}, true, true}}, Ann(1) + Me("m1"));
    EXPECT_THAT(Verify(answered, {Post(1), Post(1)}),
                ElementsAre(HasSubstr("asked about m1 2 times")));
    EXPECT_THAT(Verify(answered, {}), ElementsAre(HasSubstr("answered without asking")));
    EXPECT_THAT(Verify(Window({{{1}, true, true}},
                              Ann(1) + Me("Check this: http://www.example.org/chatbots/")),
                       {Post(1)}),
                ElementsAre(HasSubstr("canned line although the bot was asked")));
    SoakPost markerPost = Post(1);
    markerPost.body += "%A0";
    EXPECT_THAT(Verify(Window({{{1}, false, false}}, Ann(1, false)), {markerPost}),
                ElementsAre(HasSubstr("ends in the marker")));

    SoakWindow closed = Window({{{1}, true, false}}, Ann(1));
    closed.closedAtMs = 10'000;
    EXPECT_THAT(Verify(closed, {Post(1, 12'000)}), IsEmpty());
    EXPECT_THAT(Verify(closed, {Post(1, 13'500)}),
                ElementsAre(HasSubstr("3500 ms after its window closed")));
    // Requests about other windows' messages are theirs to account for.
    EXPECT_THAT(Verify(answered, {Post(1), Post(2), Post(2)}), IsEmpty());
}

TEST(SoakLedger, EveryBotRequestIsAboutAMessageSomeContactSaid) {
    const std::vector<SoakWindow> windows = {Window({{{1}, true, true}}, Ann(1) + Me("m1")),
                                             Window({{{2, 3}, true, true}}, "")};
    EXPECT_THAT(VerifySoakPosts(windows, {Post(1), Post(3)}), IsEmpty());
    // An empty question (a slot asking after its message was forgotten), a stranger's id.
    EXPECT_THAT(VerifySoakPosts(windows, {{0, "botcust2=ab&message="}, Post(9)}),
                ElementsAre(HasSubstr("message="), HasSubstr("say%20m9")));
}

TEST(SoakLedger, DamagedHistoriesAreReported) {
    EXPECT_THAT(Verify(Window({{{1}, true, true}, {{2}, true, true}},
                              Ann(2) + Me("m2") + Ann(1) + Me("m1")),
                       {Post(1), Post(2)}),
                ::testing::Contains(HasSubstr("not the ones said")));
    EXPECT_THAT(Verify(Window({{{1}, true, true}}, Ann(1) + Me("m1") + "garbage\r\n"), {Post(1)}),
                ElementsAre(HasSubstr("no speaker says: \"garbage\"")));
    EXPECT_THAT(Verify(Window({{{1}, true, true}}, Ann(1) + Me("m1") + "Me says:"), {Post(1)}),
                ElementsAre(HasSubstr("does not end in CR LF")));
}

TEST(SoakLedger, PostBodiesNameTheirMessage) {
    bool answerable = false;
    EXPECT_EQ(SoakPostId("botcust2=ab&message=say%20m42", &answerable), 42);
    EXPECT_TRUE(answerable);
    EXPECT_EQ(SoakPostId("botcust2=ab&message=say%20m42%A0", &answerable), 42);
    EXPECT_FALSE(answerable);
    EXPECT_EQ(SoakPostId("botcust2=ab&message=say%20m42x"), -1);
    EXPECT_EQ(SoakPostId("botcust2=ab&message=hello"), -1);
    EXPECT_EQ(SoakPostId("botcust2=ab&message=say%20m"), -1);
}

}  // namespace
}  // namespace quorvanel::testing
