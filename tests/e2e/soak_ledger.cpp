#include "e2e/soak_ledger.h"

#include <algorithm>
#include <cstdlib>

namespace quorvanel::testing {
namespace {

constexpr char kUserName[] = "Me";
constexpr char kCanned1[] = "Check this: http://www.example.com/quorvanel/";
constexpr char kCanned2[] = "Check this: http://www.example.org/chatbots/";

// "m<digits>" with nothing else: the id, or -1.
int IdOf(const std::string& text) {
    if (text.size() < 2 || text[0] != 'm') return -1;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
    }
    return std::atoi(text.c_str() + 1);
}

std::string MessageName(int id) {
    std::string name(1, 'm');
    name += std::to_string(id);
    return name;
}

bool IsCanned(const std::string& text) {
    return text == kCanned1 || text == kCanned2;
}

// Index of the contact line holding each message id, -1 where it is missing.
std::map<int, int> MessageLines(const std::vector<SoakLine>& lines) {
    std::map<int, int> at;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].fromContact) continue;
        std::string text = lines[i].text;
        if (text.rfind("say ", 0) != 0) continue;
        text.erase(0, 4);
        if (!text.empty() && text.back() == kSoakMarker) text.pop_back();
        const int id = IdOf(text);
        if (id >= 0 && !at.count(id)) at[id] = static_cast<int>(i);
    }
    return at;
}

}  // namespace

std::string SoakMessageText(int id, bool answerable) {
    std::string text = std::string("say m") + std::to_string(id);
    if (!answerable) text.push_back(kSoakMarker);
    return text;
}

std::vector<SoakLine> ParseSoakHistory(const std::string& history, const std::string& contact,
                                       std::vector<std::string>& problems) {
    std::vector<SoakLine> lines;
    const std::string contactHeader = contact + " says:";
    const std::string userHeader = std::string(kUserName) + " says:";
    int speaker = -1;  // 1 contact, 0 user, -1 nobody yet
    std::size_t start = 0;
    while (start < history.size()) {
        std::size_t end = history.find("\r\n", start);
        if (end == std::string::npos) {
            problems.push_back("the history does not end in CR LF: \"" + history.substr(start) +
                               "\"");
            break;
        }
        const std::string line = history.substr(start, end - start);
        start = end + 2;
        if (line == contactHeader) {
            speaker = 1;
        } else if (line == userHeader) {
            speaker = 0;
        } else if (line.rfind("  ", 0) == 0 && speaker >= 0) {
            lines.push_back({speaker == 1, line.substr(2)});
        } else {
            problems.push_back("a line that no speaker says: \"" + line + "\"");
        }
    }
    return lines;
}

bool IsFallbackAnswer(const std::string& text) {
    return text == "I don't know what to say." || IsCanned(text) ||
           text ==
               "ERROR: I can't seem to access the website from which I get my responses. Please "
               "ensure you are connected and that your Internet Explorer connection settings are "
               "correct.";
}

int SoakPostId(const std::string& body, bool* answerable) {
    const std::string key = "&message=say%20m";
    const std::size_t at = body.find(key);
    if (at == std::string::npos) return -1;
    std::size_t end = at + key.size();
    while (end < body.size() && body[end] >= '0' && body[end] <= '9') ++end;
    if (end == at + key.size()) return -1;
    const std::string rest = body.substr(end);
    if (answerable != nullptr) *answerable = rest.empty();
    if (!rest.empty() && rest != "%A0") return -1;
    return std::atoi(body.c_str() + at + key.size());
}

int RepliesAfterLastBurst(const SoakWindow& window) {
    if (window.bursts.empty()) return 0;
    std::vector<std::string> ignored;
    const std::vector<SoakLine> lines = ParseSoakHistory(window.history, window.contact, ignored);
    const auto at = MessageLines(lines);
    const auto last = at.find(window.bursts.back().ids.back());
    if (last == at.end()) return 0;
    int replies = 0;
    for (std::size_t i = static_cast<std::size_t>(last->second) + 1; i < lines.size(); ++i) {
        replies += !lines[i].fromContact;
    }
    return replies;
}

std::vector<std::string> VerifySoakWindow(const std::string& label, const SoakWindow& window,
                                          const std::vector<SoakPost>& posts,
                                          long long closeGraceMs) {
    std::vector<std::string> problems;
    auto problem = [&](const std::string& text) { problems.push_back(label + ": " + text); };

    std::vector<std::string> parseProblems;
    const std::vector<SoakLine> lines =
        ParseSoakHistory(window.history, window.contact, parseProblems);
    for (const auto& text : parseProblems) problem(text);

    // Every message said is in the history once, in the order said, and nothing else is.
    std::map<int, const SoakBurst*> burstOf;
    std::vector<int> said;
    for (const auto& burst : window.bursts) {
        for (int id : burst.ids) {
            burstOf[id] = &burst;
            said.push_back(id);
        }
    }
    std::vector<int> found;
    for (const auto& line : lines) {
        if (!line.fromContact) continue;
        std::string text = line.text;
        if (text.rfind("say ", 0) == 0) text.erase(0, 4);
        if (!text.empty() && text.back() == kSoakMarker) text.pop_back();
        found.push_back(IdOf(text));
    }
    if (found != said) problem("the contact's messages are not the ones said, in order");

    // Walk the history: each reply belongs to the burst before it.
    const auto at = MessageLines(lines);
    std::map<int, std::string> answerOf;  // last id of a burst -> the reply text attributed to it
    std::size_t next = 0;
    for (std::size_t b = 0; b <= window.bursts.size(); ++b) {
        // Replies from `next` up to the first message of burst b belong to burst b - 1.
        std::size_t end = lines.size();
        if (b < window.bursts.size()) {
            const auto first = at.find(window.bursts[b].ids.front());
            if (first == at.end()) break;  // reported above
            end = static_cast<std::size_t>(first->second);
        }
        const SoakBurst* owner = b == 0 ? nullptr : &window.bursts[b - 1];
        int replies = 0;
        int attributed = 0;
        for (std::size_t i = next; i < end; ++i) {
            if (lines[i].fromContact) continue;
            ++replies;
            std::string text = lines[i].text;
            if (text.empty() || text.back() != kSoakMarker) {
                problem("a reply without the marker: \"" + text + "\"");
            } else {
                text.pop_back();
            }
            if (owner == nullptr) {
                problem("a reply before the contact said anything: \"" + text + "\"");
                continue;
            }
            const int id = IdOf(text);
            const int last = owner->ids.back();
            if (id == last || (id < 0 && IsFallbackAnswer(text))) {
                answerOf[last] = text;
                ++attributed;
            } else if (id >= 0 && burstOf.count(id)) {
                problem(MessageName(id) + " answered out of turn, after " + MessageName(last));
            } else if (id >= 0) {
                problem("an answer to another window's message: " + MessageName(id));
            } else {
                problem("an unexpected reply: \"" + text + "\"");
            }
        }
        // Replies between the messages of a burst (there should be none: they are said together).
        if (b < window.bursts.size()) {
            const auto last = at.find(window.bursts[b].ids.back());
            next = last == at.end() ? end : static_cast<std::size_t>(last->second) + 1;
            for (std::size_t i = end; i < next; ++i) {
                if (!lines[i].fromContact)
                    problem("a reply in the middle of a burst: \"" + lines[i].text + "\"");
            }
        }
        if (owner == nullptr) continue;
        const std::string name = MessageName(owner->ids.back());
        if (!owner->answerable && replies > 0) {
            problem(name + " ends in the marker but was answered");
        } else if (replies > 1) {
            problem(name + " answered " + std::to_string(replies) + " times");
        } else if (owner->answerable && owner->expectAnswer && attributed == 0) {
            problem(name + " never answered");
        }
    }

    // The bot requests: at most one per message, only about the latest message of a burst, one
    // for every answer that needed the bot, none for a window after it closed.
    std::map<int, int> asked;
    for (const auto& post : posts) {
        bool answerable = true;
        const int id = SoakPostId(post.body, &answerable);
        if (id < 0 || !burstOf.count(id)) continue;
        ++asked[id];
        const SoakBurst& burst = *burstOf[id];
        const std::string name = MessageName(id);
        if (!answerable)
            problem("the bot was asked about " + name + ", which ends in the marker");
        else if (id != burst.ids.back())
            problem("the bot was asked about " + name + ", not the latest message");
        if (window.closedAtMs >= 0 && post.ms > window.closedAtMs + closeGraceMs) {
            problem("the bot was asked about " + name + " " +
                    std::to_string(post.ms - window.closedAtMs) + " ms after its window closed");
        }
    }
    for (const auto& [id, count] : asked) {
        if (count > 1)
            problem("the bot was asked about " + MessageName(id) + " " + std::to_string(count) +
                    " times");
    }
    for (const auto& [id, text] : answerOf) {
        const int count = asked.count(id) ? asked[id] : 0;
        if (IsCanned(text) && count != 0) {
            problem(MessageName(id) + " got a canned line although the bot was asked");
        } else if (!IsCanned(text) && count == 0) {
            problem(MessageName(id) + " answered without asking the bot: \"" + text + "\"");
        }
    }
    return problems;
}

std::vector<std::string> VerifySoakPosts(const std::vector<SoakWindow>& windows,
                                         const std::vector<SoakPost>& posts) {
    std::vector<int> said;
    for (const auto& window : windows) {
        for (const auto& burst : window.bursts) said.insert(said.end(), burst.ids.begin(), burst.ids.end());
    }
    std::sort(said.begin(), said.end());
    std::vector<std::string> problems;
    for (const auto& post : posts) {
        const int id = SoakPostId(post.body);
        if (id < 0 || !std::binary_search(said.begin(), said.end(), id)) {
            problems.push_back("a bot request about nothing a contact said: " + post.body);
        }
    }
    return problems;
}

}  // namespace quorvanel::testing
