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

void CountNeverRun(const XmlNode& node, LoadReport& report) {
    if (node.name == "system" || node.name == "javascript" || node.name == "learn") {
        ++report.never_run[node.name];
        return;
    }
    for (const XmlNode& child : node.children) CountNeverRun(child, report);
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

}  // namespace

struct Bot::Context {
    Conversation& conversation;
    Stars stars;
    int depth;
    int& budget;
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
    std::size_t bytes = graph_.MemoryBytes() + templates_.capacity() * sizeof(XmlNode);
    for (const auto& node : templates_) bytes += NodeBytes(node);
    return bytes;
}

Bot::Bot(Properties properties) : properties_(std::move(properties)) {
    clock_ = [] { return std::time(nullptr); };
}

bool Bot::LoadSubstitutions(std::string_view name, std::string_view text, LoadReport& report) {
    const std::string_view file = name.substr(name.find_last_of("/\\") == std::string_view::npos
                                                  ? 0
                                                  : name.find_last_of("/\\") + 1);
    Substitutions* tables[] = {&normal_, &person_, &person2_, &gender_};
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
    static const std::vector<std::string> any = {"*"};
    for (XmlNode& child : root.children) {
        if (child.name == "category") {
            LoadCategory(name, child, any, report);
        } else if (child.name == "topic") {
            const auto topic = child.Attribute("name");
            if (!topic || PatternWords(*topic).empty()) {
                report.errors.push_back(Where(name, child.line) + "<topic> without a name");
                continue;
            }
            for (XmlNode& category : child.children) {
                if (category.name == "category") {
                    LoadCategory(name, category, PatternWords(*topic), report);
                }
            }
        }
    }
}

std::vector<std::string> Bot::PatternOf(const XmlNode& node) const {
    std::string text;
    for (const XmlNode& child : node.children) {
        if (child.IsText()) {
            text += child.text;
        } else if (child.name == "bot") {
            const auto it = properties_.find(child.Attribute("name").value_or(""));
            text += " " + (it == properties_.end() ? std::string("UNKNOWN") : it->second) + " ";
        } else {
            return {"<" + child.name + ">"};
        }
    }
    return PatternWords(text);
}

void Bot::LoadCategory(std::string_view name, XmlNode& category,
                       const std::vector<std::string>& topic, LoadReport& report) {
    const XmlNode* pattern = FirstChild(category, "pattern");
    const XmlNode* that = FirstChild(category, "that");
    const XmlNode* inner_topic = FirstChild(category, "topic");
    XmlNode* answer = FirstChild(category, "template");
    if (!pattern || !answer) {
        report.errors.push_back(Where(name, category.line) + "category without a <" +
                                (pattern ? "template" : "pattern") + ">");
        return;
    }
    std::vector<std::string> parts[3] = {PatternOf(*pattern),
                                         that ? PatternOf(*that) : std::vector<std::string>{"*"},
                                         inner_topic ? PatternOf(*inner_topic) : topic};
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
    const int id = static_cast<int>(templates_.size());
    // The file's tree is thrown away after loading, so the template can be taken from it.
    templates_.push_back(std::move(*answer));
    ++report.categories;
    const int before = graph_.Add(parts[0], parts[1], parts[2], id);
    if (before >= 0) {
        templates_[before] = {};
        ++free_;
        ++report.replaced;
    }
}

std::size_t PredicateBytes(const Conversation& conversation) {
    std::size_t bytes = 0;
    for (const auto& [name, value] : conversation.predicates) bytes += name.size() + value.size();
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
    std::vector<std::string> answers;
    // One budget for the whole message: a message of many sentences runs no more reductions
    // than one of a single sentence may.
    int budget = kMaxSraiPerMessage;
    conversation.inputs.emplace_front();
    if (conversation.inputs.size() > kHistory) conversation.inputs.pop_back();
    for (const Sentence& sentence : Normalise(CutUtf8(message, kMaxMessageChars), normal_)) {
        conversation.inputs.front().push_back(JoinWords(sentence.words));
        Context context{conversation, {}, 0, budget};
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
    const int id = graph_.Match({keys, words}, {that_keys, that_words}, {topic_keys, topic_words},
                                context.stars);
    if (id < 0) return "";
    return EvalChildren(templates_[id], context);
}

std::string Bot::EvalChildren(const XmlNode& node, Context& context) const {
    std::string out;
    for (const XmlNode& child : node.children) out += Eval(child, context);
    return out;
}

std::string Bot::Srai(const std::string& text, Context& context) const {
    if (context.depth >= kMaxSraiDepth || --context.budget < 0) return std::string(kLostThread);
    std::vector<std::string> answers;
    for (const Sentence& sentence : Normalise(text, normal_)) {
        Context inner{context.conversation, {}, context.depth + 1, context.budget};
        answers.push_back(Answer(context.conversation, sentence.keys, sentence.words, inner));
    }
    return JoinWords(answers);
}

std::string Bot::Condition(const XmlNode& node, Context& context) const {
    const auto matches = [&](const std::optional<std::string>& name,
                             const std::optional<std::string>& value) {
        const auto it = context.conversation.predicates.find(name.value_or(""));
        const std::string current = it == context.conversation.predicates.end() ? "" : it->second;
        return WordsMatch(Keys(current, normal_), PatternWords(value.value_or("")));
    };
    const auto name = node.Attribute("name");
    const auto value = node.Attribute("value");
    if (name && value) return matches(name, value) ? EvalChildren(node, context) : "";
    for (const XmlNode& li : node.children) {
        if (li.name != "li") continue;
        const auto li_name = name ? name : li.Attribute("name");
        const auto li_value = li.Attribute("value");
        if (!li_value || !li_name || matches(li_name, li_value)) return EvalChildren(li, context);
    }
    return "";
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
        const auto it = conversation.predicates.find(node.Attribute("name").value_or(""));
        return it == conversation.predicates.end() ? "" : it->second;
    }
    if (name == "set") {
        std::string value = CutUtf8(CollapseSpace(EvalChildren(node, context)), kMaxPredicateChars);
        const std::string key = node.Attribute("name").value_or("");
        const auto it = conversation.predicates.find(key);
        const std::size_t others =
            PredicateBytes(conversation) - (it == conversation.predicates.end() ? 0 : key.size() + it->second.size());
        // Past the budget the predicate keeps what it had; the template still shows the value.
        if (others + key.size() + value.size() <= kMaxPredicateBytes) conversation.predicates[key] = value;
        return value;
    }
    if (name == "bot") {
        const auto it = properties_.find(node.Attribute("name").value_or(""));
        return it == properties_.end() ? "" : it->second;
    }
    if (name == "think") {
        EvalChildren(node, context);
        return "";
    }
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
    if (name == "date") {
        const std::time_t now = clock_();
        std::tm parts{};
#ifdef _WIN32
        // The C library of every Windows keeps localtime's result per thread.
        if (const std::tm* local = std::localtime(&now)) parts = *local;
#else
        localtime_r(&now, &parts);
#endif
        char text[64];
        return std::strftime(text, sizeof text, "%A, %B %d, %Y", &parts) ? text : "";
    }
    if (name == "id") return conversation.id;
    if (name == "size") return std::to_string(Size());
    if (name == "version") return std::string(kVersion);
    if (name == "system" || name == "javascript" || name == "learn") return "";
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
