#include "store/record_text.h"

#include <ctime>

#include "qvbot/text.h"

namespace quorvanel {
namespace {

// A message of several lines keeps them, indented under its heading.
std::wstring Indented(const std::string& text) {
    std::wstring lines;
    for (const wchar_t c : qvbot::WideFromUtf8(text)) {
        if (c == L'\r') continue;
        lines += c == L'\n' ? std::wstring(L"\r\n    ") : std::wstring(1, c);
    }
    return lines;
}

std::wstring LocalTime(std::int64_t time) {
    const std::time_t at = static_cast<std::time_t>(time);
    char text[32] = "(a time out of reach)";
    if (const std::tm* local = std::localtime(&at))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return std::wstring(text, text + std::char_traits<char>::length(text));
}

std::wstring WhatBecameOfIt(const RecordRow& row) {
    const std::wstring reply = Indented(row.reply);
    const std::wstring answer = reply.empty() ? L"" : L" (the answer was: " + reply + L")";
    switch (row.outcome) {
        case ReplyOutcome::Sent:
            return L"Sent: " + reply;
        case ReplyOutcome::CannedLine:
            return L"Sent one of the program's own lines: " + reply;
        case ReplyOutcome::ErrorLine:
            return L"Sent the line for a bot server out of reach: " + reply;
        case ReplyOutcome::EmptyAnswer:
            return L"Nothing sent: the answer was empty";
        case ReplyOutcome::UserWriting:
            return L"Nothing sent: you were writing there" + answer;
        case ReplyOutcome::NoEntryBox:
            return L"Nothing sent: the window has no entry box" + answer;
        case ReplyOutcome::NoSendButton:
            return L"Left in the entry box, the window having no Send button: " + reply;
        case ReplyOutcome::InvalidSpeed:
            return L"Nothing sent: the typing speed in the settings is not understood" + answer;
    }
    // A number this program does not know: the file was written by a later one.
    return L"What became of it is not known" + answer;
}

}  // namespace

std::wstring ExchangeText(const RecordRow& row) {
    std::wstring text = LocalTime(row.time) + L"  " + qvbot::WideFromUtf8(row.contact);
    if (!row.bot.empty()) text += L", answered by " + qvbot::WideFromUtf8(row.bot);
    return text + L"\r\n  " + qvbot::WideFromUtf8(row.contact) + L": " + Indented(row.heard) +
           L"\r\n  " + WhatBecameOfIt(row) + L"\r\n";
}

std::string RecordFileText(const std::vector<RecordRow>& rows) {
    std::string text = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i != 0) text += "\r\n";
        text += qvbot::Utf8FromWide(ExchangeText(rows[i]));
    }
    return text;
}

}  // namespace quorvanel
