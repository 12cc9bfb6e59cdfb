// A conversation's bytes: a tag and version, the random state (8 bytes, little-endian), then the
// predicates (count, then name and value) and the inputs and answers, latest first (count, then
// each message's sentence count and sentences); from version 2 on, the categories it learned
// (count, then each one's text). Counts and lengths are LEB128 numbers. A conversation that
// learned nothing is written as version 1, byte for byte as before. The
// reader trusts nothing: whatever the bytes, it ends with a conversation the engine's limits
// allow, or with none.
#include <string>
#include <string_view>

#include "qvbot/bot.h"
#include "qvbot/text.h"

namespace qvbot {
namespace {

constexpr std::string_view kTag = "QVC1";
constexpr std::string_view kTag2 = "QVC2";

void PutNumber(std::string& out, std::uint64_t n) {
    while (n >= 0x80) {
        out += static_cast<char>((n & 0x7F) | 0x80);
        n >>= 7;
    }
    out += static_cast<char>(n);
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size());
    out += text;
}

void PutHistory(std::string& out, const std::deque<std::vector<std::string>>& history) {
    PutNumber(out, history.size());
    for (const auto& message : history) {
        PutNumber(out, message.size());
        for (const auto& sentence : message) PutText(out, sentence);
    }
}

class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    bool Number(std::uint64_t& n) {
        n = 0;
        for (int shift = 0; shift < 64 && !rest_.empty(); shift += 7) {
            const auto byte = static_cast<unsigned char>(rest_.front());
            rest_.remove_prefix(1);
            n |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    }
    // A count of items that take a byte each at least: never more than the bytes left.
    bool Count(std::uint64_t& n) { return Number(n) && n <= rest_.size(); }
    bool Text(std::string& text) {
        std::uint64_t size = 0;
        if (!Count(size) || !IsValidUtf8(rest_.substr(0, size))) return false;
        text.assign(rest_.substr(0, size));
        rest_.remove_prefix(size);
        return true;
    }
    bool History(std::deque<std::vector<std::string>>& history) {
        std::uint64_t messages = 0;
        if (!Count(messages) || messages > kHistory) return false;
        for (std::uint64_t i = 0; i < messages; ++i) {
            std::uint64_t sentences = 0;
            if (!Count(sentences)) return false;
            auto& message = history.emplace_back();
            for (std::uint64_t j = 0; j < sentences; ++j) {
                if (!Text(message.emplace_back()) || message.back().size() > kMaxMessageChars * 4) {
                    return false;
                }
            }
        }
        return true;
    }
    bool Fixed(std::uint64_t& n) {
        if (rest_.size() < 8) return false;
        n = 0;
        for (int i = 7; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(rest_[static_cast<std::size_t>(i)]);
        rest_.remove_prefix(8);
        return true;
    }
    // The version, 0 for bytes of another kind.
    int Tag() {
        const std::string_view tag = rest_.substr(0, kTag.size());
        if (tag != kTag && tag != kTag2) return 0;
        rest_.remove_prefix(kTag.size());
        return tag == kTag ? 1 : 2;
    }
    bool AtEnd() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

}  // namespace

std::string SaveConversation(const Conversation& conversation) {
    std::string out(conversation.learned.empty() ? kTag : kTag2);
    for (int i = 0; i < 8; ++i) out += static_cast<char>((conversation.random >> (8 * i)) & 0xFF);
    PutNumber(out, conversation.predicates.size());
    for (const auto& [name, value] : conversation.predicates) {
        PutText(out, name);
        PutText(out, value);
    }
    PutHistory(out, conversation.inputs);
    PutHistory(out, conversation.answers);
    if (!conversation.learned.empty()) {
        PutNumber(out, conversation.learned.size());
        for (const auto& category : conversation.learned) PutText(out, category);
    }
    return out;
}

bool RestoreConversation(std::string_view bytes, Conversation& conversation) {
    Reader in(bytes);
    Conversation read;
    std::uint64_t predicates = 0;
    const int version = in.Tag();
    if (version == 0 || !in.Fixed(read.random) || !in.Count(predicates)) return false;
    for (std::uint64_t i = 0; i < predicates; ++i) {
        std::string name;
        std::string value;
        if (!in.Text(name) || !in.Text(value) || value.size() > kMaxPredicateChars * 4)
            return false;
        read.predicates[std::move(name)] = std::move(value);
    }
    if (!in.History(read.inputs) || !in.History(read.answers)) return false;
    std::uint64_t learned = 0;
    if (version == 2 && (!in.Count(learned) || learned == 0 || learned > kMaxLearned)) return false;
    for (std::uint64_t i = 0; i < learned; ++i) {
        if (!in.Text(read.learned.emplace_back())) return false;
    }
    if (!in.AtEnd() || LearnedBytes(read) > kMaxLearnedBytes) return false;
    // The budgets as the engine keeps them: the latest input and answer may pass the history's.
    if (PredicateBytes(read) > kMaxPredicateBytes) return false;
    if (HistoryBytes(read) > kMaxHistoryBytes &&
        (read.inputs.size() > 1 || read.answers.size() > 1)) {
        return false;
    }
    read.id = std::move(conversation.id);
    conversation = std::move(read);
    return true;
}

}  // namespace qvbot
