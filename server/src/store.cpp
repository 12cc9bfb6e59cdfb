#include "store.h"

#include <deque>
#include <string_view>
#include <vector>

namespace qvbot {

std::optional<std::string> MemoryStore::Answer(const std::string& botid, const std::string& token,
                                               const Respond& respond) {
    Conversations* conversations = nullptr;
    {
        const std::lock_guard lock(mutex_);
        auto& slot = bots_[botid];
        if (!slot) slot = std::make_unique<Conversations>(kMaxConversations, seed_);
        conversations = slot.get();  // stores are never removed, so it outlives the lock
    }
    return conversations->With(token, respond);
}

namespace {

constexpr char kFormat = 'C';  // the first byte, changed whenever the layout changes

void PutNumber(std::string& out, std::uint64_t n) {
    do {
        const auto low = static_cast<unsigned char>(n & 0x7f);
        n >>= 7;
        out += static_cast<char>(n ? low | 0x80 : low);
    } while (n);
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size());
    out += text;
}

void PutHistory(std::string& out, const std::deque<std::vector<std::string>>& history) {
    PutNumber(out, history.size());
    for (const auto& sentences : history) {
        PutNumber(out, sentences.size());
        for (const auto& sentence : sentences) PutText(out, sentence);
    }
}

// Reads what the Put functions wrote; every count is checked against the bytes left, so
// damaged bytes cannot make it allocate much or read past the end.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}
    bool Number(std::uint64_t& n) {
        n = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (rest_.empty()) return false;
            const auto byte = static_cast<unsigned char>(rest_.front());
            rest_.remove_prefix(1);
            n |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) return true;
        }
        return false;
    }
    bool Count(std::uint64_t& n) { return Number(n) && n <= rest_.size(); }
    bool Text(std::string& text) {
        std::uint64_t size = 0;
        if (!Count(size)) return false;
        text.assign(rest_.substr(0, size));
        rest_.remove_prefix(size);
        return true;
    }
    bool History(std::deque<std::vector<std::string>>& history) {
        std::uint64_t entries = 0, sentences = 0;
        if (!Count(entries)) return false;
        for (; entries > 0; --entries) {
            if (!Count(sentences)) return false;
            auto& entry = history.emplace_back(sentences);
            for (auto& sentence : entry) {
                if (!Text(sentence)) return false;
            }
        }
        return true;
    }
    bool AtEnd() const { return rest_.empty(); }

  private:
    std::string_view rest_;
};

}  // namespace

std::string EncodeConversation(const Conversation& conversation) {
    std::string out(1, kFormat);
    PutNumber(out, conversation.random);
    PutNumber(out, conversation.predicates.size());
    for (const auto& [name, value] : conversation.predicates) {
        PutText(out, name);
        PutText(out, value);
    }
    PutHistory(out, conversation.inputs);
    PutHistory(out, conversation.answers);
    return out;
}

bool DecodeConversation(std::string_view bytes, Conversation& conversation) {
    if (bytes.empty() || bytes.front() != kFormat) return false;
    Reader in(bytes.substr(1));
    Conversation read;
    std::uint64_t predicates = 0;
    if (!in.Number(read.random) || !in.Count(predicates)) return false;
    for (; predicates > 0; --predicates) {
        std::string name, value;
        if (!in.Text(name) || !in.Text(value)) return false;
        read.predicates[std::move(name)] = std::move(value);
    }
    if (!in.History(read.inputs) || !in.History(read.answers) || !in.AtEnd()) return false;
    read.id = std::move(conversation.id);
    conversation = std::move(read);
    return true;
}

}  // namespace qvbot
