#include "qvbot/bot.h"

#include <algorithm>
#include <charconv>
#include <system_error>

#include "qvbot/folder.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

constexpr std::string_view kVersion = "quorvanel-botserver 1.11";

int Index(const XmlNode& node, std::string_view key = "index", std::size_t part = 0) {
    const auto text = node.Attribute(key);
    if (!text) return 1;
    std::string_view rest = *text;
    for (std::size_t i = 0; i < part; ++i) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) return 1;
        rest.remove_prefix(comma + 1);
    }
    rest = rest.substr(0, rest.find(','));
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    return error == std::errc() && value >= 1 ? value : 1;
}

template <typename List>
std::string Nth(const List& list, int index) {
    return static_cast<std::size_t>(index) <= list.size() ? std::string(list[index - 1]) : "";
}

std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Whether the words of a value match a condition's pattern (`*` and `_` take one word or more).
bool WordsMatch(const std::vector<std::string>& words, const std::vector<std::string>& pattern) {
    // reach[i]: the pattern so far can end right after words[0..i).
    std::vector<char> reach(words.size() + 1, 0);
    reach[0] = 1;
    for (const std::string& p : pattern) {
        std::vector<char> next(words.size() + 1, 0);
        const bool wild = p == "*" || p == "_";
        bool open = false;
        for (std::size_t i = 0; i < words.size(); ++i) {
            if (wild) {
                open = open || reach[i];
                next[i + 1] = open;
            } else {
                next[i + 1] = reach[i] && words[i] == p;
            }
        }
        reach = std::move(next);
    }
    return reach[words.size()];
}

std::vector<std::string> Keys(std::string_view text, const Substitutions& normal) {
    std::vector<std::string> keys;
    for (auto& sentence : Normalise(text, normal)) {
        keys.insert(keys.end(), sentence.keys.begin(), sentence.keys.end());
    }
    return keys;
}

bool HoldsCategory(const XmlNode& node) {
    return std::any_of(node.children.begin(), node.children.end(),
                       [](const XmlNode& child) { return child.name == "category"; });
}

void CountNeverRun(const XmlNode& node, LoadReport& report) {
    // <learn> naming a file to load is refused; <learn> holding categories runs.
    if (node.name == "system" || node.name == "javascript" ||
        (node.name == "learn" && !HoldsCategory(node))) {
        ++report.never_run[node.name];
        return;
    }
    for (const XmlNode& child : node.children) CountNeverRun(child, report);
}

bool HasElement(const XmlNode& node, std::string_view name) {
    if (node.name == name) return true;
    return std::any_of(node.children.begin(), node.children.end(),
                       [&](const XmlNode& child) { return HasElement(child, name); });
}

// <that index="n,m"> and <input index="n,m">: the n-th entry of a history (latest first), and
// its m-th sentence counted from the end.
std::string FromHistory(const std::deque<std::vector<std::string>>& history, const XmlNode& node) {
    const std::size_t entry = Index(node, "index", 0);
    const std::size_t sentence = Index(node, "index", 1);
    if (entry > history.size()) return "";
    const auto& sentences = history[entry - 1];
    return sentence <= sentences.size() ? sentences[sentences.size() - sentence] : "";
}

XmlNode* FirstChild(XmlNode& node, std::string_view name) {
    for (XmlNode& child : node.children) {
        if (child.name == name) return &child;
    }
    return nullptr;
}

std::string Where(std::string_view file, int line) {
    return std::string(file) + ":" + std::to_string(line) + ": ";
}

// Attributes that a file may write as child elements instead, as <get><name>x</name></get>.
bool IsAttributeChild(std::string_view element, std::string_view child) {
    const auto any = [&](std::initializer_list<std::string_view> names) {
        return std::find(names.begin(), names.end(), element) != names.end();
    };
    if (child == "name") return any({"get", "set", "bot", "map", "condition", "li"});
    if (child == "var") return any({"get", "set", "condition", "li"});
    if (child == "value") return any({"condition", "li"});
    if (child == "format" || child == "locale" || child == "timezone") return element == "date";
    if (child == "jformat") return any({"date", "interval"});
    if (child == "style" || child == "from" || child == "to") return element == "interval";
    return false;
}

// The words of a map's key or a set's entry, as both are looked up.
std::string KeyOf(std::string_view text) {
    return JoinWords(PatternWords(text));
}

}  // namespace

struct Bot::SraixRound {
    const SraixAnswers& given;
    std::optional<SraixRequest> pending;
    std::size_t seen = 0;
};

struct Bot::Context {
    Conversation& conversation;
    Stars stars;
    int depth;
    int& budget;
    const Brain* learned;  // what the conversation learned before this sentence, or null
    bool& learned_now;     // set when the conversation learns
    std::map<std::string, std::string, std::less<>> vars;  // the template's own variables
    SraixRound* sraix;  // null: no service can be asked
};

namespace {
std::size_t NodeBytes(const XmlNode& node) {
    std::size_t bytes =
        node.children.capacity() * sizeof(XmlNode) + node.name.capacity() + node.text.capacity();
    for (const auto& [key, value] : node.attributes)
        bytes += sizeof(key) * 2 + key.capacity() + value.capacity();
    for (const auto& child : node.children) bytes += NodeBytes(child);
    return bytes;
}
}  // namespace

std::size_t Bot::MemoryBytes() const {
    std::size_t bytes = brain_.graph.MemoryBytes() + brain_.templates.capacity() * sizeof(XmlNode) +
                        sets_.MemoryBytes();
    for (const auto& node : brain_.templates) bytes += NodeBytes(node);
    for (const auto& [name, map] : maps_) {
        // A tree node each: three pointers and a colour beside the two strings.
        for (const auto& [key, value] : map)
            bytes += 4 * sizeof(void*) + sizeof(key) * 2 + key.capacity() + value.capacity();
    }
    return bytes;
}

Bot::Bot(Properties properties) : properties_(std::move(properties)) {
    clock_ = [] { return std::time(nullptr); };
}

bool Bot::LoadSubstitutions(std::string_view name, std::string_view text, LoadReport& report) {
    const std::string_view file = name.substr(name.find_last_of("/\\") == std::string_view::npos
                                                  ? 0
                                                  : name.find_last_of("/\\") + 1);
    Substitutions* tables[] = {&normal_, &person_, &person2_, &gender_, &denormal_};
    for (std::size_t i = 0; i < std::size(kSubstitutionFiles); ++i) {
        if (Lower(file) != kSubstitutionFiles[i]) continue;
        *tables[i] = ReadSubstitutions(name, text, report.errors);
        return true;
    }
    return false;
}

void Bot::LoadText(std::string_view name, std::string_view bytes, LoadReport& report) {
    std::string utf8;
    XmlError error;
    XmlNode root;
    if (!PrepareXml(bytes, utf8, error) || !ParseXml(utf8, root, error)) {
        report.errors.push_back(Where(name, error.line) + error.what);
        return;
    }
    if (root.name != "aiml") {
        report.errors.push_back(Where(name, root.line) + "the root element is <" + root.name +
                                ">, not <aiml>");
        return;
    }
    ++report.files;
    // Files that say they are AIML 1.x read their patterns as 1.0.1 does: `#`, `^` and `$` are
    // punctuation there, not wildcards.
    const bool v2 = !root.Attribute("version").value_or("").starts_with("1.");
    static const std::vector<std::string> any = {"*"};
    sraix_ = sraix_ || HasElement(root, "sraix");
    for (XmlNode& child : root.children) {
        if (child.name == "category") {
            LoadCategory(brain_, name, child, any, v2, report);
        } else if (child.name == "topic") {
            XmlNode topic_text;
            topic_text.children.emplace_back().text = child.Attribute("name").value_or("");
            const std::vector<std::string> topic = PatternOf(topic_text, v2);
            if (topic.empty()) {
                report.errors.push_back(Where(name, child.line) + "<topic> without a name");
                continue;
            }
            for (XmlNode& category : child.children) {
                if (category.name == "category")
                    LoadCategory(brain_, name, category, topic, v2, report);
            }
        }
    }
}

std::vector<std::string> Bot::PatternOf(const XmlNode& node, bool v2) const {
    std::string text;
    std::vector<std::string> words;
    // Text so far as pattern words; in 2.0 `#` and `^` are wildcards and `$` marks a word that
    // goes before any wildcard.
    const auto flush = [&] {
        for (const std::string& word : v2 ? SplitWords(text) : std::vector<std::string>{text}) {
            if (v2 && (word == "#" || word == "^")) {
                words.push_back(word);
                continue;
            }
            const bool priority = v2 && word.size() > 1 && word[0] == '$';
            std::vector<std::string> parts = PatternWords(priority ? word.substr(1) : word);
            if (priority && !parts.empty()) parts[0] = "$" + parts[0];
            words.insert(words.end(), parts.begin(), parts.end());
        }
        text.clear();
    };
    for (const XmlNode& child : node.children) {
        if (child.IsText()) {
            text += child.text;
        } else if (child.name == "bot") {
            const auto it = properties_.find(child.Attribute("name").value_or(""));
            text += " " + (it == properties_.end() ? std::string("UNKNOWN") : it->second) + " ";
        } else if (v2 && child.name == "set" && !child.Attribute("name")) {
            flush();
            std::string set;
            for (const XmlNode& part : child.children) set += part.text;
            set = Lower(CollapseSpace(set));
            if (set.empty() || set.find(' ') != std::string::npos) return {"<set>"};
            words.push_back("<set>" + set);
        } else {
            return {"<" + child.name + ">"};
        }
    }
    flush();
    return words;
}

void Bot::LoadCategory(Brain& brain, std::string_view name, XmlNode& category,
                       const std::vector<std::string>& topic, bool v2, LoadReport& report) const {
    const XmlNode* pattern = FirstChild(category, "pattern");
    const XmlNode* that = FirstChild(category, "that");
    const XmlNode* inner_topic = FirstChild(category, "topic");
    XmlNode* answer = FirstChild(category, "template");
    if (!pattern || !answer) {
        report.errors.push_back(Where(name, category.line) + "category without a <" +
                                (pattern ? "template" : "pattern") + ">");
        return;
    }
    std::vector<std::string> parts[3] = {
        PatternOf(*pattern, v2), that ? PatternOf(*that, v2) : std::vector<std::string>{"*"},
        inner_topic ? PatternOf(*inner_topic, v2) : topic};
    for (const auto& part : parts) {
        if (part.size() == 1 && part[0].starts_with("<")) {
            report.errors.push_back(Where(name, pattern->line) + "unexpected " + part[0] +
                                    " in a pattern");
            return;
        }
    }
    if (parts[0].empty()) {
        report.errors.push_back(Where(name, pattern->line) + "empty pattern");
        return;
    }
    CountNeverRun(*answer, report);
    const int id = static_cast<int>(brain.templates.size());
    // The file's tree is thrown away after loading, so the template can be taken from it.
    brain.templates.push_back(std::move(*answer));
    ++report.categories;
    const int before = brain.graph.Add(parts[0], parts[1], parts[2], id);
    if (before >= 0) {
        brain.templates[before] = {};
        ++brain.free;
        ++report.replaced;
    }
}

std::size_t PredicateBytes(const Conversation& conversation) {
    std::size_t bytes = 0;
    for (const auto& [name, value] : conversation.predicates) bytes += name.size() + value.size();
    return bytes;
}

std::size_t LearnedBytes(const Conversation& conversation) {
    std::size_t bytes = 0;
    for (const auto& category : conversation.learned) bytes += category.size();
    return bytes;
}

std::size_t HistoryBytes(const Conversation& conversation) {
    std::size_t bytes = 0;
    for (const auto& input : conversation.inputs) {
        for (const auto& sentence : input) bytes += sentence.size();
    }
    for (const auto& answer : conversation.answers) {
        for (const auto& sentence : answer) bytes += sentence.size();
    }
    return bytes;
}

namespace {

// Drops the oldest inputs and answers until the history fits its budget; the latest of each
// stays, as <that> and <input/> need them.
void TrimHistory(Conversation& conversation) {
    while (HistoryBytes(conversation) > kMaxHistoryBytes &&
           (conversation.inputs.size() > 1 || conversation.answers.size() > 1)) {
        if (conversation.inputs.size() >= conversation.answers.size() && conversation.inputs.size() > 1) {
            conversation.inputs.pop_back();
        } else {
            conversation.answers.pop_back();
        }
    }
}

}  // namespace

std::string Bot::Respond(Conversation& conversation, std::string_view message) const {
    return Run(conversation, message, nullptr);
}

Reply Bot::Respond(Conversation& conversation, std::string_view message,
                   const SraixAnswers& given) const {
    if (!sraix_) return {Run(conversation, message, nullptr), {}};
    Conversation trial = conversation;
    SraixRound round{given, {}, 0};
    std::string answer = Run(trial, message, &round);
    if (round.pending) return {{}, std::move(round.pending)};
    conversation = std::move(trial);
    return {std::move(answer), {}};
}

std::string Bot::Run(Conversation& conversation, std::string_view message,
                     SraixRound* sraix) const {
    std::vector<std::string> answers;
    // One budget for the whole message: a message of many sentences runs no more reductions
    // than one of a single sentence may.
    int budget = kMaxSraiPerMessage;
    conversation.inputs.emplace_front();
    if (conversation.inputs.size() > kHistory) conversation.inputs.pop_back();
    std::unique_ptr<Brain> learned = Learned(conversation);
    bool learned_now = false;
    for (const Sentence& sentence : Normalise(CutUtf8(message, kMaxMessageChars), normal_)) {
        conversation.inputs.front().push_back(JoinWords(sentence.words));
        // What one sentence taught, the next already knows.
        if (learned_now) learned = Learned(conversation);
        learned_now = false;
        Context context{conversation, {}, 0, budget, learned.get(), learned_now, {}, sraix};
        const std::string answer =
            CollapseSpace(Answer(conversation, sentence.keys, sentence.words, context));
        // Kept as long as a message may be, so 10,000 conversations stay bounded whatever a
        // bot's templates make of their input.
        std::vector<std::string> said;
        for (const Sentence& part : Normalise(CutUtf8(answer, kMaxMessageChars), normal_)) {
            said.push_back(JoinWords(part.words));
        }
        conversation.answers.push_front(std::move(said));
        if (conversation.answers.size() > kHistory) conversation.answers.pop_back();
        TrimHistory(conversation);
        if (!answer.empty()) answers.push_back(answer);
    }
    return JoinWords(answers);
}

std::string Bot::Answer(Conversation& conversation, const std::vector<std::string>& keys,
                        const std::vector<std::string>& words, Context& context) const {
    std::vector<std::string> that_words;
    if (!conversation.answers.empty() && !conversation.answers.front().empty()) {
        that_words = SplitWords(conversation.answers.front().back());
    }
    std::vector<std::string> that_keys;
    for (const auto& word : that_words) that_keys.push_back(Upper(word));
    std::vector<std::string> topic_words, topic_keys;
    if (const auto topic = conversation.predicates.find("topic");
        topic != conversation.predicates.end()) {
        for (Sentence& sentence : Normalise(topic->second, normal_)) {
            topic_words.insert(topic_words.end(), sentence.words.begin(), sentence.words.end());
            topic_keys.insert(topic_keys.end(), sentence.keys.begin(), sentence.keys.end());
        }
    }
    const WordGraph::Input input{keys, words}, that{that_keys, that_words},
        topic{topic_keys, topic_words};
    MatchOrder order;
    int id = brain_.graph.Match(input, that, topic, context.stars, &sets_, &order);
    const Brain* brain = &brain_;
    if (context.learned) {
        // What the conversation learned competes with the bot's categories as if it were among
        // them; on the same path it wins, being newer.
        Stars stars;
        MatchOrder learned_order;
        const int learned_id =
            context.learned->graph.Match(input, that, topic, stars, &sets_, &learned_order);
        if (learned_id >= 0 && (id < 0 || learned_order <= order)) {
            id = learned_id;
            brain = context.learned;
            context.stars = std::move(stars);
        }
    }
    if (id < 0) return "";
    return EvalChildren(brain->templates[id], context);
}

std::string Bot::EvalChildren(const XmlNode& node, Context& context) const {
    std::string out;
    for (const XmlNode& child : node.children) {
        if (!IsAttributeChild(node.name, child.name)) out += Eval(child, context);
    }
    return out;
}

std::optional<std::string> Bot::Attribute(const XmlNode& node, std::string_view key,
                                          Context& context) const {
    if (auto value = node.Attribute(key)) return value;
    for (const XmlNode& child : node.children) {
        if (child.name == key) return CollapseSpace(EvalChildren(child, context));
    }
    return std::nullopt;
}

std::unique_ptr<Bot::Brain> Bot::Learned(const Conversation& conversation) const {
    if (conversation.learned.empty()) return nullptr;
    auto brain = std::make_unique<Brain>();
    static const std::vector<std::string> any = {"*"};
    LoadReport ignored;  // the categories were whole when learned; bytes restored are checked here
    for (const std::string& text : conversation.learned) {
        XmlNode category;
        XmlError error;
        if (ParseXml(text, category, error) && category.name == "category") {
            LoadCategory(*brain, "", category, any, true, ignored);
        }
    }
    return brain;
}

std::string Bot::Learn(const XmlNode& node, Context& context) const {
    // A copy of the category with each <eval> replaced by its value now.
    const std::function<XmlNode(const XmlNode&)> resolve = [&](const XmlNode& from) {
        XmlNode to;
        if (from.name == "eval") {
            to.text = EvalChildren(from, context);
            return to;
        }
        to.name = from.name;
        to.text = from.text;
        to.attributes = from.attributes;
        for (const XmlNode& child : from.children) to.children.push_back(resolve(child));
        return to;
    };
    auto& learned = context.conversation.learned;
    for (const XmlNode& category : node.children) {
        if (category.name != "category") continue;
        std::string text = WriteXml(resolve(category));
        if (text.size() > kMaxLearnedBytes) continue;
        if (node.name == "learnf" && learnf_) learnf_(text);
        learned.push_back(std::move(text));
        while (learned.size() > kMaxLearned ||
               LearnedBytes(context.conversation) > kMaxLearnedBytes) {
            learned.pop_front();
        }
        context.learned_now = true;
    }
    return "";
}

std::string Bot::Srai(const std::string& text, Context& context) const {
    if (context.depth >= kMaxSraiDepth || --context.budget < 0) return std::string(kLostThread);
    std::vector<std::string> answers;
    for (const Sentence& sentence : Normalise(text, normal_)) {
        Context inner{context.conversation, {}, context.depth + 1, context.budget, context.learned,
                      context.learned_now,  {}, context.sraix};
        answers.push_back(Answer(context.conversation, sentence.keys, sentence.words, inner));
    }
    return JoinWords(answers);
}

std::string Bot::Sraix(const XmlNode& node, Context& context) const {
    std::string text = CollapseSpace(EvalChildren(node, context));
    if (SraixRound* round = context.sraix) {
        const std::size_t index = round->seen++;
        if (index < round->given.size()) {
            if (round->given[index]) return *round->given[index];
        } else if (index < kMaxSraixPerMessage && !round->pending) {
            round->pending = SraixRequest{node.Attribute("service").value_or(""), std::move(text)};
            return "";
        }
    }
    // A failure, or no service at all: the default, else the rest of the template alone.
    return node.Attribute("default").value_or("");
}

std::string Bot::Condition(const XmlNode& node, Context& context) const {
    using Name = std::optional<std::string>;
    // A predicate, or with `var` the template's own variable.
    const auto matches = [&](const Name& name, const Name& var, const std::string& value) {
        const auto& values = var ? context.vars : context.conversation.predicates;
        const auto it = values.find(var ? *var : name.value_or(""));
        const std::string current = it == values.end() ? "" : it->second;
        return WordsMatch(Keys(current, normal_), PatternWords(value));
    };
    const Name name = Attribute(node, "name", context);
    const Name var = Attribute(node, "var", context);
    const Name value = Attribute(node, "value", context);
    if ((name || var) && value)
        return matches(name, var, *value) ? EvalChildren(node, context) : "";
    std::string out;
    // An item holding <loop/> has the condition tried again after it, a bounded number of times.
    for (int round = 0; round < kMaxLoops; ++round) {
        // Rounds after the first share the message's budget, as reductions do.
        if (round > 0 && --context.budget < 0) break;
        const XmlNode* chosen = nullptr;
        for (const XmlNode& li : node.children) {
            if (li.name != "li") continue;
            const Name li_name = name ? name : Attribute(li, "name", context);
            const Name li_var = name || var ? var : Attribute(li, "var", context);
            const Name li_value = Attribute(li, "value", context);
            if (!li_value || (!li_name && !li_var) || matches(li_name, li_var, *li_value)) {
                chosen = &li;
                break;
            }
        }
        if (!chosen) break;
        out += EvalChildren(*chosen, context);
        if (std::none_of(chosen->children.begin(), chosen->children.end(),
                         [](const XmlNode& child) { return child.name == "loop"; })) {
            break;
        }
    }
    return out;
}

std::string Bot::Eval(const XmlNode& node, Context& context) const {
    if (node.IsText()) return node.text;
    Conversation& conversation = context.conversation;
    const std::string& name = node.name;
    const auto star = [&] { return Nth(context.stars.pattern, 1); };
    const auto content_or_star = [&] {
        return node.children.empty() ? star() : CollapseSpace(EvalChildren(node, context));
    };
    if (name == "star") return Nth(context.stars.pattern, Index(node));
    if (name == "thatstar") return Nth(context.stars.that, Index(node));
    if (name == "topicstar") return Nth(context.stars.topic, Index(node));
    // The n-th answer or message back (1: the latest), and its m-th sentence from the end.
    if (name == "that") return FromHistory(conversation.answers, node);
    if (name == "input") return FromHistory(conversation.inputs, node);
    if (name == "get") {
        if (const auto var = Attribute(node, "var", context)) {
            const auto it = context.vars.find(*var);
            return it == context.vars.end() ? "" : it->second;
        }
        const auto it = conversation.predicates.find(Attribute(node, "name", context).value_or(""));
        return it == conversation.predicates.end() ? "" : it->second;
    }
    if (name == "set") {
        std::string value = CutUtf8(CollapseSpace(EvalChildren(node, context)), kMaxPredicateChars);
        if (const auto var = Attribute(node, "var", context)) {
            // As many variables as a template names; a loop cannot make more.
            context.vars[*var] = value;
            return value;
        }
        const std::string key = Attribute(node, "name", context).value_or("");
        const auto it = conversation.predicates.find(key);
        const std::size_t others =
            PredicateBytes(conversation) - (it == conversation.predicates.end() ? 0 : key.size() + it->second.size());
        // Past the budget the predicate keeps what it had; the template still shows the value.
        if (others + key.size() + value.size() <= kMaxPredicateBytes) conversation.predicates[key] = value;
        return value;
    }
    if (name == "bot") {
        const auto it = properties_.find(Attribute(node, "name", context).value_or(""));
        return it == properties_.end() ? "" : it->second;
    }
    if (name == "map") {
        const std::string key = KeyOf(EvalChildren(node, context));
        const std::string map = Lower(Attribute(node, "name", context).value_or(""));
        if (const auto it = maps_.find(map); it != maps_.end()) {
            if (const auto entry = it->second.find(key); entry != it->second.end())
                return entry->second;
        }
        // Numbers count up and down without a file.
        long long number = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), number);
        if (error == std::errc() && end == key.data() + key.size() && number > -1000000000 &&
            number < 1000000000) {
            if (map == "successor") return std::to_string(number + 1);
            if (map == "predecessor") return std::to_string(number - 1);
        }
        return "unknown";
    }
    if (name == "learn" || name == "learnf") return Learn(node, context);
    if (name == "oob" || name == "loop") return "";
    // The n-th message or answer back, whole (1: this message, and the answer before it).
    const auto whole = [&](const std::deque<std::vector<std::string>>& history) {
        const std::size_t index = Index(node);
        return index <= history.size() ? JoinWords(history[index - 1]) : std::string();
    };
    if (name == "request") return whole(conversation.inputs);
    if (name == "response") return whole(conversation.answers);
    if (name == "explode") {
        std::string out;
        for (const char32_t c : DecodeUtf8(EvalChildren(node, context))) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
            if (!out.empty()) out += ' ';
            AppendUtf8(out, c);
        }
        return out;
    }
    if (name == "normalize") return Substitute(CollapseSpace(EvalChildren(node, context)), normal_);
    if (name == "denormalize")
        return Substitute(CollapseSpace(EvalChildren(node, context)), denormal_);
    if (name == "first" || name == "rest") {
        const std::vector<std::string> words = SplitWords(EvalChildren(node, context));
        if (name == "first") return words.empty() ? "NIL" : words[0];
        return words.size() < 2 ? "NIL" : JoinWords(words, 1);
    }
    if (name == "interval") return Interval(node, context);
    if (name == "think") {
        EvalChildren(node, context);
        return "";
    }
    if (name == "sraix") return Sraix(node, context);
    if (name == "srai") return Srai(CollapseSpace(EvalChildren(node, context)), context);
    if (name == "sr") return Srai(star(), context);
    if (name == "random") {
        std::vector<const XmlNode*> items;
        for (const XmlNode& child : node.children) {
            if (child.name == "li") items.push_back(&child);
        }
        if (items.empty()) return "";
        return EvalChildren(*items[NextRandom(conversation.random) % items.size()], context);
    }
    if (name == "condition") return Condition(node, context);
    if (name == "uppercase") return Upper(EvalChildren(node, context));
    if (name == "lowercase") return Lower(EvalChildren(node, context));
    if (name == "formal") return Formal(EvalChildren(node, context));
    if (name == "sentence") return EachSentenceCase(CollapseSpace(EvalChildren(node, context)));
    if (name == "person") return Substitute(content_or_star(), person_);
    if (name == "person2") return Substitute(content_or_star(), person2_);
    if (name == "gender") return Substitute(content_or_star(), gender_);
    if (name == "date") return Date(node, context);
    if (name == "id") return conversation.id;
    if (name == "size") return std::to_string(Size());
    if (name == "version") return std::string(kVersion);
    if (name == "system" || name == "javascript") return "";
    if (name == "br") return " ";
    if (name == "a") {
        // A link keeps its address: the text shows it only when the two differ.
        const std::string shown = EvalChildren(node, context);
        const std::string href = node.Attribute("href").value_or("");
        const std::string scheme = Lower(href.substr(0, href.find(':') + 1));
        const bool followable = href.find(':') != std::string::npos &&
                                (scheme == "http:" || scheme == "https:" || scheme == "ftp:" || scheme == "mailto:");
        return followable && CollapseSpace(shown) != href ? shown + " (" + href + ")" : shown;
    }
    // gossip, li outside a list, and markup the bot does not know: their content.
    return EvalChildren(node, context);
}

}  // namespace qvbot
