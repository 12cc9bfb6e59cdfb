// The talk protocol's rules as pure functions: form decoding, the pages, the log line's escaping
// and the vocabulary of the faults that tests order. Pages are built in UTF-8; the server converts
// them to the charset it declares on output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talk {

// %HH becomes the byte HH and '+' a space; a malformed escape is kept as it stands.
std::string PercentDecode(std::string_view text);

// The decoded value of the first field `name` of a form body; nullopt when there is none.
std::optional<std::string> FormField(std::string_view body, std::string_view name);

// Escapes & < > and " so any text can stand in element content and in attribute values.
std::string HtmlEscape(std::string_view text);

// A JSON string literal (with quotes) that keeps every byte: bytes from 0x80 up are written as
// \u0080..\u00FF, so the line stays ASCII and the raw bytes can be recovered exactly.
std::string JsonString(std::string_view bytes);

// splitmix64: tiny, and the same sequence on every platform, unlike std:: distributions.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform enough in [0, bound).
    std::uint64_t Below(std::uint64_t bound) { return Next() % bound; }

  private:
    std::uint64_t state_;
};

// 16 lower-case hex digits.
std::string TokenHex(std::uint64_t value);

// Random bytes that start like HTML, hold no answer, form or news marker and are never UTF-8.
std::string Garbage(Random& random);
// A page of 5 MiB, more than a client should take in.
std::string HugePage();

struct PageText {
    std::string bot_name;
    std::string botid;
    std::string token;
};
std::string TalkPage(const PageText& page, bool with_form);
// `answer` (HTML) is nullopt for a page that lacks the answer line.
std::string AnswerPage(const PageText& page, std::string_view message,
                       const std::optional<std::string>& answer, bool with_form);
std::string NewsPage(std::string_view progversion, bool with_marker);

enum class FaultKind {
    kNone,
    kDelay,
    kHang,
    kError500,
    kEmpty,
    kNoAnswer,
    kNoForm,
    kNoMarker,
    kGarbage,
    kHuge
};
struct Fault {
    FaultKind kind = FaultKind::kNone;
    int ms = 0;  // the delay, or how long a hang lasts at most (0: until released)
    bool operator==(const Fault&) const = default;
};
// "none", "delay:MS", "hang", "hang:MS", "500", "empty", "noanswer", "noform", "nomarker",
// "garbage", "huge".
std::optional<Fault> ParseFault(std::string_view text);

enum class Scope { kTalkGet, kTalkPost, kNews };
// "talk-get", "talk-post", "news" or "all".
std::optional<std::vector<Scope>> ParseScope(std::string_view text);
// Whether a fault changes anything there: a page-shape fault only fits a page that has that part.
// "nomarker" drops whatever marker the page's reader looks for: the answer line of a talk POST,
// the comment of the news page (which moves to the page's head, where it does not count).
bool FaultFits(FaultKind kind, Scope scope);

// One order to the fault board: which scopes, which fault, for how many requests (nullopt: until
// changed). Scopes the fault does not fit are left out; nullopt when none is left or text is bad.
struct FaultSetting {
    std::vector<Scope> scopes;
    Fault fault;
    std::optional<int> count;
};
std::optional<FaultSetting> ParseFaultSetting(std::string_view scope, std::string_view fault,
                                              std::optional<std::string_view> count);

struct Chaos {
    std::uint64_t seed = 0;
    int percent = 0;
};
// "SEED:PERCENT", percent 0..100.
std::optional<Chaos> ParseChaos(std::string_view text);
// The fault chaos gives the n-th talk POST (from 0). A function of (seed, n) alone, so a soak run
// repeats exactly however the requests interleave.
Fault ChaosFault(const Chaos& chaos, std::uint64_t n);

}  // namespace talk
