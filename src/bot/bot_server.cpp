#include "bot/bot_server.h"

#include <cmath>

#include "bot/reply_text.h"
#include "settings/settings.h"

namespace quorvanel {
namespace {

constexpr wchar_t kTalkPath[] = L"/pandora/talk?botid=";

}  // namespace

std::wstring StartConversation(Transport& transport, SettingsStore& settings) {
    const std::wstring server = ReadSetting(settings, kBotServer);
    const std::wstring id = ReadSetting(settings, kBotID);
    transport.FetchPage(L"http://" + server + kTalkPath + id, L"");
    return transport.FirstFormFieldValue(L"botcust2").value_or(kFallbackToken);
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

void BotServerClient::Start() {
    starting_ = true;
    std::wstring token = StartConversation(transport_, settings_);
    starting_ = false;
    started_ = true;
    token_ = std::move(token);
}

std::optional<std::wstring> DrawCannedLine(RandomSource& random) {
    const float scaled = random.NextSingle() * 200.0f;
    const int roll = static_cast<int>(std::nearbyint(scaled));
    if (roll == 2) return kCannedLine1;
    if (roll == 3) return kCannedLine2;
    return std::nullopt;
}

std::wstring BotServerClient::Query(const std::wstring& message, std::wstring& url) {
    if (token_.empty() && !started_ && !starting_) Start();
    url = L"HTTP://" + ReadSetting(settings_, kBotServer) + kTalkPath + ReadSetting(settings_, kBotID);
    return L"botcust2=" + token_ + L"&message=" + UrlEncode(message, codec_);
}

std::wstring BotServerClient::AnswerIn(const std::wstring& page) {
    if (page.empty()) return kNoPageAnswer;
    // The answer is cut from the markup, then read as the text it shows.
    return ReplyFragmentToText(ExtractReply(page, ReadSetting(settings_, kBotName)));
}

std::wstring BotServerClient::GetBotReply(const std::wstring& message, const std::wstring&) {
    if (auto canned = DrawCannedLine(random_)) return *canned;
    std::wstring url;
    const std::wstring body = Query(message, url);
    return AnswerIn(transport_.FetchPage(url, body));
}

void BotServerClient::Ask(const std::wstring& message, const std::wstring&,
                          std::function<void(std::wstring)> done) {
    if (auto canned = DrawCannedLine(random_)) return done(*canned);
    std::wstring url;
    const std::wstring body = Query(message, url);
    transport_.FetchPageAsync(url, body, [this, done = std::move(done)](std::wstring page) { done(AnswerIn(page)); });
}

}  // namespace quorvanel
