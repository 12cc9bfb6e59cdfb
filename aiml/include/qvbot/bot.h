// An AIML bot: categories loaded from files into the word graph, and the templates that answer.
#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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
// What a conversation learns (<learn>, <learnf>): at most this many categories and bytes of
// their text; the oldest go first.
constexpr std::size_t kMaxLearned = 50;
constexpr std::size_t kMaxLearnedBytes = 16 * 1024;
// Rounds a <condition> may go through <loop/>.
constexpr int kMaxLoops = 100;
// The answer when a chain of reductions runs too deep or too long.
constexpr std::string_view kLostThread = "I lost my thread there. Could you say that another way?";

using Properties = std::map<std::string, std::string, std::less<>>;

// A request a template's <sraix> makes of an outside service (a language model).
struct SraixRequest {
    std::string service;  // the tag's service attribute
    std::string text;     // its content, as evaluated
};
// The services' answers to one message's requests so far, in the order the templates made them;
// nullopt for a request that failed, which the tag's default then answers.
using SraixAnswers = std::vector<std::optional<std::string>>;
// Requests one message may make; later tags answer with their default at once.
constexpr std::size_t kMaxSraixPerMessage = 3;

struct Reply {
    std::string answer;
    // A request still to make: there is no answer yet and the conversation is as it was.
    std::optional<SraixRequest> pending;
};

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
    std::deque<std::string> learned;  // categories it learned, as AIML text, oldest first
};

// The bytes of a conversation's text: predicates and history (containers' own overhead aside).
std::size_t PredicateBytes(const Conversation& conversation);
std::size_t HistoryBytes(const Conversation& conversation);
std::size_t LearnedBytes(const Conversation& conversation);

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
    // Takes a set or map file: sets/NAME.txt (an entry a line), maps/NAME.txt ("key:value"
    // lines), the same as .json, or NAME.set / NAME.map anywhere (JSON arrays of arrays, as
    // hosted services export them). Entries add to a set or map of that name. False for a path
    // of another form; what is wrong in the file is reported.
    bool LoadSetOrMap(std::string_view path, std::string_view bytes, LoadReport& report);
    // Where <learnf> writes: given each category as AIML text; false when it could not be kept.
    // Without one, <learnf> learns for its conversation alone, as <learn> does.
    void SetLearnf(std::function<bool(const std::string&)> learnf) { learnf_ = std::move(learnf); }

    // The answer to one message (UTF-8), each sentence answered and the answers joined.
    // Every <sraix> answers with its default: there is no service to ask.
    std::string Respond(Conversation& conversation, std::string_view message) const;
    // The same for a host that can ask services, and never waits inside the engine: a <sraix>
    // past the answers `given` ends the run with its request, leaving the conversation untouched;
    // the host asks the service and calls again with the answer added. The conversation's random
    // state is untouched too, so the second run makes the same choices up to there.
    Reply Respond(Conversation& conversation, std::string_view message,
                  const SraixAnswers& given) const;

    std::size_t Size() const { return brain_.templates.size() - brain_.free; }
    // About the bytes the bot's graph and templates hold, for a server that hosts many bots.
    std::size_t MemoryBytes() const;
    const Properties& properties() const { return properties_; }
    // The clock of <date/>; the system's by default.
    void SetClock(std::function<std::time_t()> clock) { clock_ = std::move(clock); }

  private:
    struct Context;
    // Categories in their word graph and the templates they lead to.
    struct Brain {
        WordGraph graph;
        std::vector<XmlNode> templates;
        std::size_t free = 0;  // replaced templates, emptied
    };
    // Takes the template out of `category`. `v2` reads `#`, `^`, `$` and <set> in patterns.
    void LoadCategory(Brain& brain, std::string_view name, XmlNode& category,
                      const std::vector<std::string>& topic, bool v2, LoadReport& report) const;
    std::vector<std::string> PatternOf(const XmlNode& node, bool v2) const;
    std::unique_ptr<Brain> Learned(const Conversation& conversation) const;
    std::string Learn(const XmlNode& node, Context& context) const;
    std::string Date(const XmlNode& node, Context& context) const;
    std::string Interval(const XmlNode& node, Context& context) const;
    // An attribute, or the same written as a child element (evaluated); nullopt for neither.
    std::optional<std::string> Attribute(const XmlNode& node, std::string_view key,
                                         Context& context) const;
    struct SraixRound;
    std::string Run(Conversation& conversation, std::string_view message, SraixRound* sraix) const;
    std::string Sraix(const XmlNode& node, Context& context) const;
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
    Substitutions denormal_;
    Brain brain_;
    WordSets sets_;
    std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>> maps_;
    bool sraix_ = false;  // some template has <sraix>: answers run on a copy of the conversation
    std::function<std::time_t()> clock_;
    std::function<bool(const std::string&)> learnf_;
};

}  // namespace qvbot
