// An AIML bot: categories loaded from files into the word graph, and the templates that answer.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qvbot/graph.h"
#include "qvbot/text.h"
#include "qvbot/xml.h"

namespace qvbot {

class FolderReader;

// Limits that keep one conversation's state and work bounded.
constexpr std::size_t kMaxMessageChars = 1000;
constexpr std::size_t kMaxPredicateChars = 1000;
constexpr int kMaxSraiDepth = 32;
// Reductions one message may run in all, however many sentences it has.
constexpr int kMaxSraiPerMessage = 2000;
constexpr std::size_t kHistory = 10;
// Bytes a conversation keeps: its predicates (names and values), and its history of inputs and
// answers. A predicate that would pass the budget is not stored; the oldest history goes first.
constexpr std::size_t kMaxPredicateBytes = 8 * 1024;
constexpr std::size_t kMaxHistoryBytes = 8 * 1024;
// The answer when a chain of reductions runs too deep or too long.
constexpr std::string_view kLostThread = "I lost my thread there. Could you say that another way?";

using Properties = std::map<std::string, std::string, std::less<>>;

struct LoadReport {
    int files = 0;       // files loaded (wholly or in part)
    int categories = 0;  // categories added, replacements included
    int replaced = 0;    // categories whose pattern, that and topic another had already
    std::map<std::string, int> never_run;  // system, javascript, learn: how often each occurs
    std::vector<std::string> errors;       // "file:line: what is wrong"
};

// What the bot keeps of one conversation.
struct Conversation {
    std::string id;
    std::map<std::string, std::string, std::less<>> predicates;
    std::deque<std::vector<std::string>> answers;  // latest first; each answer's sentences
    std::deque<std::vector<std::string>> inputs;   // latest first; each message's sentences
    std::uint64_t random = 0;                      // the state of `random`'s choices
};

// The bytes of a conversation's text: predicates and history (containers' own overhead aside).
std::size_t PredicateBytes(const Conversation& conversation);
std::size_t HistoryBytes(const Conversation& conversation);

// A conversation as bytes, to keep it between runs (its id is not in them: the caller keys it).
std::string SaveConversation(const Conversation& conversation);
// Takes back what SaveConversation wrote. Bytes it did not write, or whose conversation breaks
// the limits above, are refused: false, and `conversation` is left as it was.
bool RestoreConversation(std::string_view bytes, Conversation& conversation);

class Bot {
  public:
    explicit Bot(Properties properties);

    // Loads a bot folder: its substitution files, then every *.aiml file to kMaxFolderDepth
    // folders down (any case of the extension), in the order of its load-order.txt, then by
    // name. A file that cannot be read is reported and the rest loads. Reports call the files
    // `name`/path (by their paths alone when `name` is empty). May be called more than once;
    // later categories replace earlier ones.
    LoadReport LoadFolder(const FolderReader& folder, std::string_view name = {});
    // Takes a substitution file (normal.txt, person.txt, person2.txt or gender.txt) in place of
    // the built-in table of that kind; `name` is what reports call it. False for another name.
    bool LoadSubstitutions(std::string_view name, std::string_view text, LoadReport& report);
    // Loads one file's content; `name` is what reports call it.
    void LoadText(std::string_view name, std::string_view bytes, LoadReport& report);

    // The answer to one message (UTF-8), each sentence answered and the answers joined.
    std::string Respond(Conversation& conversation, std::string_view message) const;

    std::size_t Size() const { return templates_.size() - free_; }
    // About the bytes the bot's graph and templates hold, for a server that hosts many bots.
    std::size_t MemoryBytes() const;
    const Properties& properties() const { return properties_; }
    // The clock of <date/>; the system's by default.
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

  private:
    struct Context;
    // Takes the template out of `category`.
    void LoadCategory(std::string_view name, XmlNode& category,
                      const std::vector<std::string>& topic, LoadReport& report);
    std::vector<std::string> PatternOf(const XmlNode& node) const;
    std::string Answer(Conversation& conversation, const std::vector<std::string>& keys,
                       const std::vector<std::string>& words, Context& context) const;
    std::string Eval(const XmlNode& node, Context& context) const;
    std::string EvalChildren(const XmlNode& node, Context& context) const;
    std::string Condition(const XmlNode& node, Context& context) const;
    std::string Srai(const std::string& text, Context& context) const;

    Properties properties_;
    Substitutions normal_ = InputSubstitutions();
    Substitutions person_ = PersonSubstitutions();
    Substitutions person2_ = Person2Substitutions();
    Substitutions gender_ = GenderSubstitutions();
    WordGraph graph_;
    std::vector<XmlNode> templates_;
    std::size_t free_ = 0;  // replaced templates, emptied
    std::function<std::time_t()> clock_;
};

}  // namespace qvbot
