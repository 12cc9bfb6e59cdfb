#include "bot/bot_server.h"

#include <cmath>

#include "bot/reply_text.h"
#include "settings/settings.h"

namespace quorvanel {
namespace {

constexpr wchar_t kTalkPath[] = L"/pandora/talk?botid=";

}  // namespace

void StartConversation(Transport& transport, SettingsStore& settings,
                       std::function<void(std::wstring)> done) {
    const std::wstring server = ReadSetting(settings, kBotServer);
    const std::wstring id = ReadSetting(settings, kBotID);
    transport.FetchPage(L"http://" + server + kTalkPath + id, L"",
                        [&transport, done = std::move(done)](const std::wstring&) {
                            done(transport.FirstFormFieldValue(L"botcust2").value_or(kFallbackToken));
                        });
}

std::wstring ExtractReply(const std::wstring& page, const std::wstring& name) {
    const std::wstring marker = L"<B>" + name + L":</B> ";
    const std::size_t start = page.find(marker);
    if (start == std::wstring::npos) return kNoAnswer;
    const std::size_t rest = start + marker.size();
    const std::size_t end = page.find(L" <BR>", rest);
    if (end == std::wstring::npos) return kNoAnswer;
    return page.substr(rest, end - rest);
}

std::wstring UrlEncode(const std::wstring& text, TextCodec& codec) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::wstring encoded;
    for (unsigned char code : codec.ToAnsi(text)) {
        const bool plain = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') ||
                           (code >= '0' && code <= '9');
        if (plain) {
            encoded += static_cast<wchar_t>(code);
        } else {
            encoded += L'%';
            encoded += static_cast<wchar_t>(kHex[code >> 4]);
            encoded += static_cast<wchar_t>(kHex[code & 0xF]);
        }
    }
    return encoded;
}

BotServerClient::BotServerClient(Transport& transport, SettingsStore& settings,
                                 RandomSource& random, TextCodec& codec,
                                 std::wstring& conversationToken)
    : transport_(transport),
      settings_(settings),
      random_(random),
      codec_(codec),
      token_(conversationToken) {}

void BotServerClient::Start(std::function<void()> done) {
    starting_ = true;
    StartConversation(transport_, settings_, [this, done = std::move(done)](std::wstring token) {
        starting_ = false;
        started_ = true;
        token_ = std::move(token);
        if (done) done();
    });
}

std::optional<std::wstring> DrawCannedLine(RandomSource& random) {
    const float scaled = random.NextSingle() * 200.0f;
    const int roll = static_cast<int>(std::nearbyint(scaled));
    if (roll == 2) return kCannedLine1;
    if (roll == 3) return kCannedLine2;
    return std::nullopt;
}

void BotServerClient::Post(const std::wstring& message, std::function<void(std::wstring)> done) {
    const std::wstring url =
        L"HTTP://" + ReadSetting(settings_, kBotServer) + kTalkPath + ReadSetting(settings_, kBotID);
    const std::wstring body = L"botcust2=" + token_ + L"&message=" + UrlEncode(message, codec_);
    transport_.FetchPage(url, body, [this, done = std::move(done)](std::wstring page) { done(AnswerIn(page)); });
}

std::wstring BotServerClient::AnswerIn(const std::wstring& page) {
    if (page.empty()) return kNoPageAnswer;
    // The answer is cut from the markup, then read as the text it shows.
    return ReplyFragmentToText(ExtractReply(page, ReadSetting(settings_, kBotName)));
}

void BotServerClient::Ask(const std::wstring& message, const std::wstring&,
                          std::function<void(std::wstring)> done) {
    if (auto canned = DrawCannedLine(random_)) return done(*canned);
    // A run that began with the built-in bot has no conversation yet: it is started first, and
    // the question goes once it has ended, one request after the other.
    if (token_.empty() && !started_ && !starting_) {
        return Start([this, message, done = std::move(done)]() mutable { Post(message, std::move(done)); });
    }
    Post(message, std::move(done));
}

}  // namespace quorvanel
