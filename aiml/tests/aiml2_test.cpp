// AIML 2.0: each feature by the smallest categories that show it, then what it keeps of a
// conversation.
#include <gtest/gtest.h>

#include "qvbot/bot.h"
#include "qvbot/folder.h"

namespace qvbot {
namespace {

std::string Category(const std::string& pattern, const std::string& answer) {
    return "<category><pattern>" + pattern + "</pattern><template>" + answer +
           "</template></category>";
}

struct Case {
    const char* what;
    std::string categories;
    std::vector<std::pair<std::string, std::string>> exchanges;  // said, answered
};

class Aiml2 : public ::testing::Test {
  protected:
    Aiml2() {
        LoadReport report;
        bot.LoadSetOrMap("b/sets/color.txt", "red\ndark red\r\ndark\n", report);
        bot.LoadSetOrMap("b/maps/capital.txt", "France:Paris\nUnited Kingdom: London\n", report);
        bot.LoadSetOrMap("b/sets/animal.json", R"(["cat", ["big", "dog"]])", report);
        bot.LoadSetOrMap("b/sound.map", R"([["cat", "meow"], ["big dog", "woof"]])", report);
        EXPECT_EQ(report.errors, std::vector<std::string>{});
        bot.SetClock([] { return std::time_t{1700000000}; });  // 2023-11-14 22:13:20 UTC
    }
    void Run(const Case& test) {
        conversation = {};
        LoadReport report;
        bot.LoadText("t.aiml", "<aiml version=\"2.0\">" + test.categories + "</aiml>", report);
        ASSERT_EQ(report.errors, std::vector<std::string>{}) << test.what;
        for (const auto& [say, answer] : test.exchanges) {
            EXPECT_EQ(bot.Respond(conversation, say), answer) << test.what << ": " << say;
        }
    }
    Bot bot{{{"name", "Kestro"}, {"birthday", "March 3, 2020"}}};
    Conversation conversation;
};

// Each pattern form in the priority order, each one answering until it is taken away.
TEST_F(Aiml2, PatternPriorityOrder) {
    const std::vector<std::string> order = {
        "$HI RED", "HI #", "HI _", "HI RED", "HI <set>color</set>", "HI ^", "HI *"};
    for (std::size_t first = 0; first < order.size(); ++first) {
        Bot fresh{{}};
        LoadReport report;
        fresh.LoadSetOrMap("sets/color.txt", "red", report);
        std::string categories;
        for (std::size_t i = first; i < order.size(); ++i)
            categories += Category(order[i], std::to_string(i));
        fresh.LoadText("t.aiml", "<aiml>" + categories + "</aiml>", report);
        Conversation talk;
        EXPECT_EQ(fresh.Respond(talk, "hi red"), std::to_string(first)) << order[first];
    }
}

TEST_F(Aiml2, Conformance) {
    const Case cases[] = {
        {"# and ^ take no words or more; * does not",
         Category("HEY #", "[<star/>]") + Category("YO ^ END", "[<star/>]") +
             Category("BYE *", "bye") + Category("ASK", "Do you like tea?") +
             "<category><pattern>OK #</pattern><that>DO YOU LIKE "
             "*</that><template><thatstar/></template></category>",
         {{"hey", "[]"},
          {"hey you two", "[you two]"},
          {"yo end", "[]"},
          {"yo a b end", "[a b]"},
          {"bye", ""},
          {"ask", "Do you like tea?"},
          {"ok", "tea"}}},
        {"sets match their longest entry first and give it as a star",
         Category("I LIKE <set>color</set> *", "<star/>|<star index=\"2\"/>") +
             Category("I SAW <set>color</set> RED", "<star/>") +
             Category("A <set>animal</set>", "<star/>"),
         {{"I like dark red cars", "dark red|cars"},
          {"I saw dark red", "dark"},
          {"a big dog", "big dog"}}},
        {"<bot/> in a pattern",
         Category("ARE YOU <bot name=\"name\"/>", "yes"),
         {{"are you Kestro", "yes"}}},
        {"maps, their JSON form and the numbers",
         Category("CAPITAL OF *", "<map name=\"capital\"><star/></map>") +
             Category("SOUND OF *", "<map><name>sound</name><star/></map>") +
             Category("AFTER *", "<map name=\"successor\"><star/></map>"),
         {{"capital of united kingdom", "London"},
          {"capital of Spain", "unknown"},
          {"sound of big dog", "woof"},
          {"after 41", "42"}}},
        {"local variables, loop, attributes as elements",
         Category(
             "COUNT",
             "<think><set var=\"n\">0</set></think><condition var=\"n\"><li value=\"3\">go</li>"
             "<li><think><set var=\"n\"><map name=\"successor\"><get "
             "var=\"n\"/></map></set></think>"
             "<get var=\"n\"/> <loop/></li></condition>") +
             Category(
                 "MOOD *",
                 "<think><set><name>mood</name><star/></set></think><get><name>mood</name></get>") +
             Category("HOW",
                      "<condition><name>mood</name><li><value>sad</value>sorry</li><li>fine</li></"
                      "condition>") +
             Category("N", "[<get var=\"n\"/>]") +
             Category("FOREVER", "<condition var=\"x\"><li>a<loop/></li></condition>"),
         {{"count", "1 2 3 go"},
          {"n", "[]"},
          {"mood sad", "sad"},
          {"how", "sorry"},
          {"forever", std::string(kMaxLoops, 'a')}}},
        {"request, response and the text elements",
         Category("ECHO *", "<request/>|<request index=\"2\"/>|<response/>") +
             Category("X *",
                      "<explode><star/></explode>|<first><star/></first>|<rest><star/></"
                      "rest>|<rest>one</rest>") +
             Category("NORM", "<normalize>what's up</normalize>") +
             Category("OOB", "a<oob><search>x</search></oob>b"),
         {{"x ab c", "a b c|ab|c|NIL"},
          {"echo one", "echo one|x ab c|a b c ab c NIL"},
          {"norm", "what is up"},
          {"oob", "ab"}}},
        {"date formats and intervals",
         Category("DAY",
                  "<date timezone=\"0\" jformat=\"yyyy-MM-dd HH:mm\"/>|<date timezone=\"0\" "
                  "format=\"%Y %Q\"/>|<date timezone=\"0\" jformat=\"'100%' yy\"/>") +
             Category("AGE",
                      "<interval><style>years</style><from><bot name=\"birthday\"/></from>"
                      "<to><date timezone=\"0\" jformat=\"MMMMMMMMM dd, yyyy\"/></to></interval>") +
             Category("SPAN",
                      "<interval jformat=\"yyyy-MM-dd\" style=\"days\" from=\"2024-02-28\" "
                      "to=\"2024-03-01\"/>"),
         {{"day", "2023-11-14 22:13|2023 |100% 23"}, {"age", "3"}, {"span", "2"}}},
        {"learn takes <eval> now and competes by priority",
         Category("WHO IS *", "nobody") +
             Category("REMEMBER * IS *",
                      "<learn><category><pattern>WHO IS <eval><star/></eval></pattern>"
                      "<template><eval><star index=\"2\"/></eval> "
                      "&lt;3</template></category></learn>ok"),
         {{"who is ann", "nobody"},
          {"remember ann is my friend. who is ann", "ok my friend <3"},
          {"who is bob", "nobody"}}},
    };
    for (const Case& test : cases) Run(test);
}

// A 1.0.1 file reads `#` and `$` as punctuation, as it always has.
TEST_F(Aiml2, FilesOfAiml1ReadAsBefore) {
    LoadReport report;
    bot.LoadText(
        "old.aiml",
        "<aiml version=\"1.0.1\">" + Category("A # B", "ab") + Category("$C", "c") + "</aiml>",
        report);
    Conversation talk;
    EXPECT_EQ(bot.Respond(talk, "a b"), "ab");
    EXPECT_EQ(bot.Respond(talk, "a x b"), "");
    EXPECT_EQ(bot.Respond(talk, "c"), "c");
}

// What a conversation learned is its own, bounded, kept in its bytes and written by <learnf>.
TEST_F(Aiml2, LearnedCategoriesStayWithTheirConversation) {
    std::vector<std::string> written;
    bot.SetLearnf([&](const std::string& category) {
        written.push_back(category);
        return true;
    });
    Run({"learn",
         Category("NOTE *",
                  "<learn><category><pattern><eval><star/></eval></pattern><template>noted "
                  "<eval><star/></eval></template></category></learn>") +
             Category("KEEP *",
                      "<learnf><category><pattern>KEPT</pattern><template><eval><star/></eval></"
                      "template></category></learnf>"),
         {{"note a", ""}, {"a", "noted a"}, {"keep it", ""}, {"kept", "it"}}});
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0], "<category><pattern>KEPT</pattern><template>it</template></category>");
    Conversation other;
    EXPECT_EQ(bot.Respond(other, "a"), "");
    EXPECT_TRUE(SaveConversation(other).starts_with("QVC1"));  // nothing learned: as before

    Conversation restored;
    ASSERT_TRUE(RestoreConversation(SaveConversation(conversation), restored));
    EXPECT_EQ(bot.Respond(restored, "a"), "noted a");
    for (int i = 0; i < 80; ++i) bot.Respond(conversation, "note w" + std::to_string(i));
    EXPECT_EQ(conversation.learned.size(), kMaxLearned);
    EXPECT_EQ(bot.Respond(conversation, "a"), "");  // the oldest went first
    EXPECT_EQ(bot.Respond(conversation, "w79"), "noted w79");
    const std::string bytes = SaveConversation(conversation);
    EXPECT_FALSE(RestoreConversation(bytes.substr(0, bytes.size() - 1), restored));
}

TEST(LearnfFile, CategoriesAreAddedToAFileThatLoads) {
    auto file = AddLearnedCategory("", Category("A", "a"));
    ASSERT_TRUE(file);
    file = AddLearnedCategory(*file, Category("B", "b"));
    ASSERT_TRUE(file);
    Bot bot{{}};
    LoadReport report;
    bot.LoadText("learnf.aiml", *file, report);
    EXPECT_EQ(report.categories, 2);
    EXPECT_FALSE(AddLearnedCategory("<aiml></aiml> tail", Category("C", "c")));
    EXPECT_FALSE(AddLearnedCategory(*file, std::string(kMaxLearnfBytes, 'x')));
}

TEST_F(Aiml2, BadSetAndMapFilesAreReported) {
    LoadReport report;
    EXPECT_TRUE(bot.LoadSetOrMap("b/maps/m.txt", "good:yes\nno colon\n", report));
    EXPECT_TRUE(bot.LoadSetOrMap("b/x.set", "{\"not\": \"a list\"}", report));
    EXPECT_TRUE(bot.LoadSetOrMap("b/y.map", "[[\"broken\"", report));
    EXPECT_FALSE(bot.LoadSetOrMap("b/notes.txt", "a:b", report));
    EXPECT_EQ(report.errors,
              (std::vector<std::string>{"b/maps/m.txt:2: expected \"key:value\"",
                                        "b/x.set:1: expected a JSON array of entries",
                                        "b/y.map:1: expected a JSON array of [key, value] pairs"}));
}

}  // namespace
}  // namespace qvbot
