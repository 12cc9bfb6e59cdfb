// libFuzzer target: any bytes, read as a page by the HTML reader and the reply extraction. The
// first byte picks the tokenizer's starting state for a raw tokenizer pass.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bot/bot_server.h"
#include "bot/html_reader.h"
#include "bot/html_tokenizer.h"
#include "qvbot/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    // The same bytes as a UTF-8 page and as a single-byte page.
    const std::wstring utf8 = qvbot::WideFromUtf8(bytes);
    std::wstring latin1;
    for (unsigned char b : bytes) latin1.push_back(static_cast<wchar_t>(b));

    for (const std::wstring& page : {utf8, latin1}) {
        const std::wstring body = quorvanel::html::BodyInnerHtml(page);
        quorvanel::html::FirstFormControlValue(page, L"botcust2");
        quorvanel::ExtractReply(body, L"Kestro");
        quorvanel::ExtractReply(page, L"");
    }

    quorvanel::html::Tokenizer tokenizer(utf8);
    tokenizer.SetState(static_cast<quorvanel::html::TokenizerState>(data[0] % 6));
    tokenizer.SetLastStartTag(L"script");
    tokenizer.SetCdataAllowed((data[0] & 0x80) != 0);
    // Every token consumes input, so the end must come within a bound set by the input's size.
    bool ended = false;
    for (std::size_t tokens = 0; tokens < 10 * size + 16 && !ended; ++tokens) {
        ended = tokenizer.Next().type == quorvanel::html::TokenType::EndOfFile;
    }
    if (!ended) __builtin_trap();
    return 0;
}
