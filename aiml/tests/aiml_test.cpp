// The AIML interpreter: matching, each family of template elements, that and topic, recursion,
// and what loading does with bad files.
#include <gtest/gtest.h>

#include <set>

#include "qvbot/bot.h"
#include "qvbot/properties.h"

namespace qvbot {
namespace {

class Aiml : public ::testing::Test {
  protected:
    LoadReport Load(const std::string& categories) {
        LoadReport report;
        bot.LoadText("t.aiml", "<aiml>" + categories + "</aiml>", report);
        return report;
    }
    // One conversation, in order.
    void Talk(const std::vector<std::pair<std::string, std::string>>& exchanges) {
        for (const auto& [say, answer] : exchanges) EXPECT_EQ(bot.Respond(conversation, say), answer) << say;
    }

    Bot bot{{{"name", "Kestro"}, {"age", "two"}}};
    Conversation conversation{"tok", {}, {}, {}, 7, {}};
};

std::string Category(const std::string& pattern, const std::string& answer,
                     const std::string& that = "") {
    return "<category><pattern>" + pattern + "</pattern>" +
           (that.empty() ? "" : "<that>" + that + "</that>") + "<template>" + answer +
           "</template></category>";
}

// Underscore, then the exact word, then star; an exact branch that fails later is backed out of.
TEST_F(Aiml, MatchingOrderAndBacktracking) {
    Load(Category("HELLO *", "hello-star") + Category("HELLO WORLD", "exact") +
         Category("_ WORLD", "underscore") + Category("*", "anything") +
         Category("HELLO", "hello") + Category("* THERE *", "there") +
         Category("WHAT IS <bot name=\"name\"/>", "me") + Category("I LIKE RED CARS", "red cars") +
         Category("I LIKE *", "like <star/>") + Category("I * DOGS", "dogs <star/>"));
    Talk({{"hello world", "underscore"}, {"hello there", "hello-star"}, {"hello", "hello"},
          {"oh hello", "anything"}, {"so there you are", "there"}, {"so there", "anything"}, {"what is kestro", "me"},
          {"hello big world", "underscore"}, {"I like red bikes", "like red bikes"},
          {"I really like dogs", "dogs really like"}, {"I like red cars", "red cars"}});
}

TEST_F(Aiml, StarsAndThatAndTopicParts) {
    Load(Category("MY * IS *", "<star/>/<star index=\"2\"/>/<star index=\"3\"/>") +
         Category("YES", "yes to <thatstar/>", "DO YOU LIKE *") +
         Category("ASK", "Do you like tea?") + Category("YES", "plain yes") +
         "<topic name=\"SPORT *\">" + Category("WHO WON", "<topicstar/> match") + "</topic>" +
         Category("TOPIC *", "<think><set name=\"topic\"><star/></set></think>ok"));
    Talk({{"My cat is Tom Cat", "cat/Tom Cat/"}, {"yes", "plain yes"}, {"ask", "Do you like tea?"},
          {"yes", "yes to tea"}, {"yes", "plain yes"}, {"who won", ""},
          {"topic sport tennis", "ok"}, {"who won", "tennis match"}});
}

TEST_F(Aiml, PredicatesAndProperties) {
    Load(Category("MY NAME IS *", "Nice to meet you, <set name=\"name\"><formal><star/></formal></set>.") +
         Category("WHAT IS MY NAME", "Your name is <get name=\"name\"/>.") +
         Category("WHO ARE YOU", "I am <bot name=\"name\"/>, <bot name=\"age\"/><bot name=\"none\"/>.") +
         Category("SILENT *", "<think><set name=\"x\"><star/></set></think>done <get name=\"x\"/>"));
    Talk({{"What is my name?", "Your name is ."},
          {"My name is ann marie", "Nice to meet you, Ann Marie."},
          {"What's my name?", "Your name is Ann Marie."}, {"who are you", "I am Kestro, two."},
          {"silent a b", "done a b"}});
}

TEST_F(Aiml, SraiSrAndReductions) {
    Load(Category("HELLO", "Hi there.") + Category("HI *", "<sr/>") +
         Category("HOWDY", "<srai>hello</srai>") + Category("GREET *", "<srai>HI <star/></srai>") +
         Category("LOOP", "<srai>LOOP</srai>") +
         Category("BOMB", "<srai>BOMB</srai><srai>BOMB</srai>") +
         Category("TWO", "<srai>hello. hello</srai>"));
    Talk({{"howdy", "Hi there."}, {"hi hello", "Hi there."}, {"greet hello", "Hi there."},
          {"loop", std::string(kLostThread)}, {"two", "Hi there. Hi there."}});
    // Doubling at each level would be 2^32 calls: the budget ends it.
    EXPECT_NE(bot.Respond(conversation, "bomb").find(kLostThread), std::string::npos);
}

// A chain of reductions answers up to the depth limit; one level more loses the thread. The
// budget is the whole message's: many sentences share it.
TEST_F(Aiml, ReductionDepthAndTheBudgetOfAMessage) {
    std::string categories = Category("STEP 0", "bottom");
    for (int i = 1; i <= 40; ++i) {
        categories += Category("STEP " + std::to_string(i), "<srai>STEP " + std::to_string(i - 1) + "</srai>");
    }
    Load(categories + Category("TWENTY", "<srai>STEP 19</srai>"));
    Talk({{"step 31", "bottom"}, {"step 33", std::string(kLostThread)}});
    // 20 reductions a sentence: the message's 200 sentences (its first 1,000 characters) would
    // need 4,000; about half of them are answered before the budget is spent.
    std::string message;
    for (int i = 0; i < 200; ++i) message += "twenty. ";
    const std::string answer = bot.Respond(conversation, message);
    std::size_t bottoms = 0;
    for (std::size_t at = 0; (at = answer.find("bottom", at)) != std::string::npos; ++at) ++bottoms;
    EXPECT_GT(bottoms, 50u);
    EXPECT_LT(bottoms, 110u);
    EXPECT_NE(answer.find(kLostThread), std::string::npos);
}

// Whatever the contact writes and the templates store, a conversation's text stays in budget.
TEST_F(Aiml, AConversationsStateStaysWithinItsBudget) {
    std::string sets;  // twelve predicates of 800 characters: more than the budget holds
    for (int n = 0; n < 12; ++n) sets += "<set name=\"p" + std::to_string(n) + "\"><star/></set>";
    Load(Category("SET *", "<think>" + sets + "</think>") + Category("NAME *", "<set name=\"name\"><star/></set>") +
         Category("*", "<star/> <star/>"));
    for (int i = 0; i < 40; ++i) {
        const std::string text = std::string(800, 'w') + std::to_string(i);
        bot.Respond(conversation, "set " + text);
        bot.Respond(conversation, text + ". " + text + ". " + text);
        EXPECT_LE(PredicateBytes(conversation), kMaxPredicateBytes);
        EXPECT_LE(HistoryBytes(conversation), kMaxHistoryBytes);
    }
    EXPECT_FALSE(conversation.inputs.empty() || conversation.answers.empty());
    EXPECT_EQ(bot.Respond(conversation, "name Ann"), "Ann");  // a small predicate still fits
}

// "No." and "St." are words that end sentences, not abbreviations; <sentence> capitalises every
// sentence; <input index="n,m"> counts messages, then sentences from the latest.
TEST_F(Aiml, SentencesAndInputsAsAiml101CountsThem) {
    Load(Category("NO", "Oh.") + Category("WHAT IS YOUR NAME", "Kestro.") +
         Category("CAPS", "<sentence>hello there. how are you</sentence>") +
         Category("THIRD", "<input/>|<input index=\"1,2\"/>|<input index=\"1,3\"/>|<input index=\"2\"/>|<input index=\"2,2\"/>") +
         Category("*", "ok"));
    Talk({{"No. What is your name?", "Oh. Kestro."}, {"I live on Elm St. It is nice", "ok ok"},
          {"one. two. first. third", "ok ok ok third|first|two|It is nice|I live on Elm St"},
          {"caps", "Hello there. How are you"}});
}

// Substitution files of a set replace the built-in tables; a malformed line is named.
TEST_F(Aiml, SubstitutionFilesReplaceTheBuiltInTables) {
    Load(Category("P *", "<person/>") + Category("G *", "<gender/>") + Category("HELLO", "hi") +
         Category("WHAT IS *", "is <star/>"));
    LoadReport report;
    EXPECT_TRUE(bot.LoadSubstitutions("set/person.txt", "\"I\",\"you\"\n# comment\n\n\"my\",\"your\"\n", report));
    EXPECT_TRUE(bot.LoadSubstitutions("NORMAL.TXT", "\"howdy\",\"hello\"\r\n\"what's\",\"what is\"\r\nbad line\r\n", report));
    EXPECT_FALSE(bot.LoadSubstitutions("other.txt", "\"a\",\"b\"", report));
    EXPECT_EQ(report.errors, std::vector<std::string>{"NORMAL.TXT:3: expected \"find\",\"replace\""});
    // person.txt replaced the table (he/him are gone); gender.txt was not given, so it stays.
    Talk({{"p I lost my keys to him", "you lost your keys to him"}, {"g she likes him", "he likes her"},
          {"howdy", "hi"}, {"what's up", "is up"}, {"dont", ""}});
}

TEST_F(Aiml, RandomAndConditionForms) {
    Load(Category("PICK", "<random><li>a</li><li>b</li><li>c</li></random>") +
         Category("MOOD *", "<think><set name=\"mood\"><star/></set></think>") +
         Category("ONE", "<condition name=\"mood\" value=\"happy\">glad</condition>") +
         Category("TWO", "<condition name=\"mood\"><li value=\"happy\">glad</li>"
                         "<li value=\"very *\">very</li><li>plain</li></condition>") +
         Category("THREE", "<condition><li name=\"mood\" value=\"sad\">sorry</li>"
                           "<li name=\"mood\" value=\"*\">some mood</li><li>none</li></condition>"));
    Talk({{"three", "none"}, {"mood happy", ""}, {"one", "glad"}, {"two", "glad"},
          {"three", "some mood"}, {"mood Very Happy", ""}, {"one", ""}, {"two", "very"},
          {"mood sad", ""}, {"two", "plain"}, {"three", "sorry"}});
    std::set<std::string> seen;
    for (int i = 0; i < 60; ++i) seen.insert(bot.Respond(conversation, "pick"));
    EXPECT_EQ(seen, (std::set<std::string>{"a", "b", "c"}));
}

TEST_F(Aiml, TextTransformsHistoryAndDate) {
    Load(Category("UP *", "<uppercase><star/></uppercase>") +
         Category("SENT *", "<sentence><lowercase><star/></lowercase></sentence>") +
         Category("P *", "<person/>") + Category("P2 *", "<person2><star/></person2>") +
         Category("G *", "<gender/>") +
         Category("BACK", "<input index=\"2\"/>|<that/>|<that index=\"1,2\"/>") +
         Category("SAY *", "<star/>. Two.") + Category("INFO", "<id/> <size/> <version/>") +
         Category("UNSAFE", "a<system>rm -rf /</system><javascript>x</javascript><learn>y</learn>b") +
         Category("MARKUP", "one<br/>two <gossip>said</gossip> <em>three</em> <a href=\"http://x.example/\">four</a>") +
         Category("DAY", "<date/>"));
    Talk({{"up caf\xC3\xA9 x", "CAF\xC3\x89 X"}, {"sent HELLO THERE", "Hello there"},
          {"p I gave him my book", "he gave me his book"}, {"p2 you told me", "I told you"},
          {"g she likes him", "he likes her"}, {"say first one", "first one. Two."},
          {"back", "say first one|Two|first one"}, {"info", "tok 11 quorvanel-botserver 1.11"},
          {"unsafe", "ab"}, {"markup", "one two said three four (http://x.example/)"}});
    bot.SetClock([] { return std::time_t{86400 * 3 + 43200}; });  // Sunday, 4 January 1970, noon
    EXPECT_NE(bot.Respond(conversation, "day").find("January 0"), std::string::npos);
}

TEST_F(Aiml, EachSentenceIsAnsweredAndMessagesAreBounded) {
    Load(Category("HELLO", "Hi.") + Category("BYE", "Later.") + Category("ECHO *", "<star/>") +
         Category("KEEP *", "<set name=\"k\"><star/> <star/></set>") +
         Category("TWICE *", "<star/> <star/>"));
    Talk({{"Hello! Bye. unknown", "Hi. Later."}});
    const std::string answer = bot.Respond(conversation, "echo " + std::string(5000, 'x'));
    EXPECT_EQ(answer.size(), kMaxMessageChars - 5);
    std::string words;
    for (int i = 0; i < 400; ++i) words += "ab ";
    EXPECT_EQ(bot.Respond(conversation, "keep " + words).size(), kMaxPredicateChars);
    EXPECT_EQ(bot.Respond(conversation, "twice " + words).size(), 2 * 994 + 1);
    EXPECT_LE(conversation.answers.front().front().size(), kMaxMessageChars);  // as kept
    for (int i = 0; i < 30; ++i) bot.Respond(conversation, "hello");
    EXPECT_EQ(conversation.inputs.size(), kHistory);
    EXPECT_EQ(conversation.answers.size(), kHistory);
}

TEST_F(Aiml, LoadReportsWhereAFileIsWrongAndKeepsTheRest) {
    std::string deep;
    for (int i = 0; i < kMaxXmlDepth + 5; ++i) deep = "<think>" + deep + "</think>";
    const struct {
        std::string text;
        std::string where;  // the start of the one error; empty: loads without error
    } files[] = {
        {"<aiml>\n<category><pattern>A</pattern></category>\n" + Category("B", "b") + "</aiml>",
         "f.aiml:2: category without a <template>"},
        {"<aiml>\n\n<category><template>x</template></category></aiml>", "f.aiml:3: category without a <pattern>"},
        {"<aiml><category>\n<pattern>A <get name=\"x\"/></pattern><template>x</template></category></aiml>", "f.aiml:2: "},
        {"<aiml>\n<category><pattern>A</pattern><template>x</template></category>\n<oops></aiml>", "f.aiml:3: "},
        {"<html></html>", "f.aiml:1: "},
        {"<?xml version=\"1.0\" encoding=\"KOI8-R\"?><aiml/>", "f.aiml:1: "},
        {"<aiml><topic>" + Category("A", "a") + "</topic></aiml>", "f.aiml:1: "},
        {"<aiml>" + Category("D", deep) + "</aiml>", "f.aiml:1: elements nest deeper"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<aiml>" + Category("CAF\xC9", "caf\xE9") + "</aiml>", ""},
    };
    for (const auto& file : files) {
        LoadReport report;
        bot.LoadText("f.aiml", file.text, report);
        ASSERT_EQ(report.errors.size(), file.where.empty() ? 0u : 1u) << file.text;
        if (!file.where.empty()) { EXPECT_TRUE(report.errors[0].starts_with(file.where)) << report.errors[0]; }
    }
    Talk({{"caf\xC3\xA9", "caf\xC3\xA9"}, {"b", "b"}});  // what loaded of a faulty file is kept
}

TEST_F(Aiml, RepeatedPathsReplaceAndElementsNeverRunAreCounted) {
    LoadReport report = Load(Category("A", "first") + Category("a", "second") + Category("B", "b") +
                  Category("A", "third", "*"));
    EXPECT_EQ(report.replaced, 2);
    EXPECT_EQ(bot.Size(), 2u);
    Talk({{"a", "third"}});
    report = Load(Category("S", "<system>x</system><system>y</system><learn/>"));
    EXPECT_EQ(report.never_run, (std::map<std::string, int>{{"learn", 1}, {"system", 2}}));
}

TEST(Properties, ReadsNameValueLinesAndReportsTheRest) {
    Properties properties = DefaultProperties();
    std::vector<std::string> errors;
    ReadProperties("p.txt", "# comment\nname = Zed  Two\n\nbad line\nlocation=here\n", properties,
                   errors);
    EXPECT_EQ(properties["name"], "Zed Two");
    EXPECT_EQ(properties["location"], "here");
    EXPECT_EQ(properties["botid"], "5e0a7c31d94b2f68");
    EXPECT_EQ(errors, std::vector<std::string>{"p.txt:4: expected \"name = value\""});
}

}  // namespace
}  // namespace qvbot
