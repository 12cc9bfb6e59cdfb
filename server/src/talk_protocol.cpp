#include "talk_protocol.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace talk {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <typename Number>
std::optional<Number> ParseNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return {};
    return value;
}

constexpr std::string_view kForm =
    R"(<form method="post" action="/pandora/talk?botid=@ID"><input type="hidden" name="botcust2" value="@TOKEN"><input type="text" name="message"><input type="submit" value="Say"></form>)";

std::string Form(const PageText& page) {
    std::string out(kForm);
    out.replace(out.find("@ID"), 3, HtmlEscape(page.botid));
    out.replace(out.find("@TOKEN"), 6, HtmlEscape(page.token));
    return out;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
                   HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::optional<std::string> FormField(std::string_view body, std::string_view name) {
    while (!body.empty()) {
        const std::size_t amp = body.find('&');
        const std::string_view pair = body.substr(0, amp);
        body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (PercentDecode(pair.substr(0, eq)) != name) continue;
        return eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
    }
    return {};
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (b < 0x20 || b >= 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04X", b);
                    out += hex;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string TokenHex(std::uint64_t value) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

std::string Garbage(Random& random) {
    std::string out = "<html><body><b";
    const std::uint64_t size = 100 + random.Below(900);
    for (std::uint64_t i = 0; i < size; ++i) out += static_cast<char>(random.Below(256));
    return out + "\xFF\xFE<br";  // 0xFF never occurs in UTF-8
}

std::string HugePage() {
    return "<html><body>" + std::string(5 * 1024 * 1024, 'x') + "</body></html>";
}

std::string TalkPage(const PageText& page, bool with_form) {
    return "<html><head><title>Talk</title></head><body><h3>Chat with " +
           HtmlEscape(page.bot_name) + "</h3>" + (with_form ? Form(page) : "") + "</body></html>";
}

std::string AnswerPage(const PageText& page, std::string_view message,
                       const std::optional<std::string>& answer, bool with_form) {
    std::string out = "<html><body><p><b>You:</b> " + HtmlEscape(message) + " <br>";
    if (answer) out += "<b>" + HtmlEscape(page.bot_name) + ":</b> " + *answer + " <br>";
    return out + "</p>" + (with_form ? Form(page) : "") + "</body></html>";
}

std::string NewsPage(std::string_view progversion, bool with_marker) {
    constexpr char kMarker[] = "<!-- Quorvanel_Data -->\n";
    return std::string("<html><head><title>Quorvanel news</title>") + (with_marker ? "" : kMarker) +
           "</head><body>\n" + (with_marker ? kMarker : "") + "<p>News for Quorvanel " +
           HtmlEscape(progversion) +
           ": the bot server is up and talking.</p>\n"
           "<p><a href=\"/public/quorvanel/download.html\">Download the latest version</a> | "
           "<a href=\"/public/quorvanel/help.html\">Help</a></p>\n"
           "</body></html>\n";
}

std::optional<Fault> ParseFault(std::string_view text) {
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    std::optional<int> ms;
    if (colon != std::string_view::npos) {
        ms = ParseNumber<int>(text.substr(colon + 1));
        if (!ms || *ms < 0) return {};
    }
    if (name == "delay" && ms) return Fault{FaultKind::kDelay, *ms};
    if (name == "hang") return Fault{FaultKind::kHang, ms.value_or(0)};
    if (ms) return {};
    if (name == "none") return Fault{FaultKind::kNone};
    if (name == "500") return Fault{FaultKind::kError500};
    if (name == "empty") return Fault{FaultKind::kEmpty};
    if (name == "noanswer") return Fault{FaultKind::kNoAnswer};
    if (name == "noform") return Fault{FaultKind::kNoForm};
    if (name == "nomarker") return Fault{FaultKind::kNoMarker};
    if (name == "garbage") return Fault{FaultKind::kGarbage};
    if (name == "huge") return Fault{FaultKind::kHuge};
    return {};
}

std::optional<std::vector<Scope>> ParseScope(std::string_view text) {
    if (text == "talk-get") return std::vector{Scope::kTalkGet};
    if (text == "talk-post") return std::vector{Scope::kTalkPost};
    if (text == "news") return std::vector{Scope::kNews};
    if (text == "all") return std::vector{Scope::kTalkGet, Scope::kTalkPost, Scope::kNews};
    return {};
}

bool FaultFits(FaultKind kind, Scope scope) {
    switch (kind) {
        case FaultKind::kNoAnswer:
            return scope == Scope::kTalkPost;
        case FaultKind::kNoForm:
            return scope != Scope::kNews;
        case FaultKind::kNoMarker:
            return scope != Scope::kTalkGet;
        default:
            return true;
    }
}

std::optional<FaultSetting> ParseFaultSetting(std::string_view scope, std::string_view fault,
                                              std::optional<std::string_view> count) {
    const auto scopes = ParseScope(scope);
    const auto parsed = ParseFault(fault);
    if (!scopes || !parsed) return {};
    FaultSetting setting{{}, *parsed, {}};
    for (const Scope s : *scopes) {
        if (FaultFits(parsed->kind, s)) setting.scopes.push_back(s);
    }
    if (count) {
        setting.count = ParseNumber<int>(*count);
        if (!setting.count || *setting.count < 1) return {};
    }
    if (setting.scopes.empty()) return {};
    return setting;
}

std::optional<Chaos> ParseChaos(std::string_view text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return {};
    const auto seed = ParseNumber<std::uint64_t>(text.substr(0, colon));
    const auto percent = ParseNumber<int>(text.substr(colon + 1));
    if (!seed || !percent || *percent < 0 || *percent > 100) return {};
    return Chaos{*seed, *percent};
}

Fault ChaosFault(const Chaos& chaos, std::uint64_t n) {
    Random random(chaos.seed ^ Random(n).Next());
    if (random.Below(100) >= static_cast<std::uint64_t>(chaos.percent)) return {};
    switch (random.Below(5)) {
        case 0:
            return {FaultKind::kDelay, static_cast<int>(random.Below(5001))};
        case 1:
            return {FaultKind::kHang, 30000};
        case 2:
            return {FaultKind::kError500};
        case 3:
            return {FaultKind::kEmpty};
        default:
            return {FaultKind::kGarbage};
    }
}

}  // namespace talk
