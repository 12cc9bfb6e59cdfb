#pragma once

// The bookkeeping of the soak test, kept free of Windows so that its judgement can itself be
// tested natively: what each contact said in each conversation window, what the program sent
// back, which bot requests it made, and whether that adds up to exactly one answer per message
// that should get one.
//
// A contact's message is "say m<id>" (the starter bot answers "say X" with X, so an answer names
// the message it answers), or "say m<id>" followed by the program's own line marker, which must
// never be answered. A burst is one or more messages said back to back; only its last message is
// answered, since the program answers the latest block.

#include <map>
#include <string>
#include <vector>

namespace quorvanel::testing {

inline constexpr char kSoakMarker = '\xA0';

struct SoakBurst {
    std::vector<int> ids;
    bool answerable = true;     // false: the last message ends in the marker
    bool expectAnswer = false;  // the window was still open when its answer was due
};

struct SoakWindow {
    std::string contact;  // the window's name: its lines start "<contact> says:"
    std::vector<SoakBurst> bursts;
    std::string history;        // the last history read from the window
    long long closedAtMs = -1;  // Unix time of the close, -1 while open
};

// One talk request as the server logged it.
struct SoakPost {
    long long ms = 0;  // Unix time of arrival
    std::string body;
};

// One line in a history: a message of the contact or a reply of the user.
struct SoakLine {
    bool fromContact = false;
    std::string text;  // the message text, without the two-blank indent
};

// The message text the contact says for a message id.
std::string SoakMessageText(int id, bool answerable);

// Reads a history of "<name> says:" lines each followed by indented lines; anything else is
// reported in `problems`.
std::vector<SoakLine> ParseSoakHistory(const std::string& history, const std::string& contact,
                                       std::vector<std::string>& problems);

// True for the answers the program gives when the bot cannot be asked or gave no answer line.
bool IsFallbackAnswer(const std::string& text);

// The replies sent after the last message of the latest burst; the driver waits for one.
int RepliesAfterLastBurst(const SoakWindow& window);

// Every broken rule, one line each, empty when all is well. `posts` are the talk POSTs of the
// whole run; `closeGraceMs` is how long after a window closed a request for it is still allowed
// (the program notices a closed window on its next tick).
std::vector<std::string> VerifySoakWindow(const std::string& label, const SoakWindow& window,
                                          const std::vector<SoakPost>& posts,
                                          long long closeGraceMs);

// Every bot request must be about a message some contact said.
std::vector<std::string> VerifySoakPosts(const std::vector<SoakWindow>& windows,
                                         const std::vector<SoakPost>& posts);

// The id a talk POST asks about, -1 when its message is not one of ours.
int SoakPostId(const std::string& body, bool* answerable = nullptr);

}  // namespace quorvanel::testing
