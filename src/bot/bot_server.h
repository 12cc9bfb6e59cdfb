#pragma once

#include <string>

#include "bot/bot_client.h"
#include "bot/http_client.h"
#include "bot/transport.h"
#include "present/random_source.h"
#include "settings/settings_store.h"

namespace quorvanel {

inline constexpr wchar_t kFallbackToken[] = L"a41c9e07b5d836f2";
inline constexpr wchar_t kNoAnswer[] = L"I don't know what to say.";
inline constexpr wchar_t kNoPageAnswer[] =
    L"ERROR: I can't seem to access the website from which I get my responses. Please ensure you "
    L"are connected and that your Internet Explorer connection settings are correct.";

// Opens a conversation with the bot and hands `done` its token (the botcust2 field of the talk
// page's first form), or the fallback token when there is no page, form or field.
void StartConversation(Transport& transport, SettingsStore& settings,
                       std::function<void(std::wstring)> done);

// The answer between "<B>" + name + ":</B> " and the next " <BR>", as written in the markup.
std::wstring ExtractReply(const std::wstring& page, const std::wstring& name);

// Every character but the ASCII letters and digits as "%" and two upper-case hex digits of its
// ANSI code.
std::wstring UrlEncode(const std::wstring& text, TextCodec& codec);

// The bot as reached on the bot server, with the token of this run for every contact. A canned
// line is given without a request. When the run began without a token (the built-in bot was
// chosen then), the conversation is started before the first question.
class BotServerClient final : public BotClient {
public:
    BotServerClient(Transport& transport, SettingsStore& settings, RandomSource& random,
                    TextCodec& codec, std::wstring& conversationToken);
    void Ask(const std::wstring& message, const std::wstring& contact,
             std::function<void(std::wstring)> done) override;
    // Starts the conversation of this run and keeps its token; `done` is called when it has
    // ended (answered, failed or timed out). Questions asked while it waits for the talk page go
    // out with the token as it is until then.
    void Start(std::function<void()> done = {});

private:
    // The post of one question, and the answer read from its page.
    void Post(const std::wstring& message, std::function<void(std::wstring)> done);
    std::wstring AnswerIn(const std::wstring& page);

    Transport& transport_;
    SettingsStore& settings_;
    RandomSource& random_;
    TextCodec& codec_;
    std::wstring& token_;
    bool starting_ = false;
    bool started_ = false;
};

}  // namespace quorvanel
