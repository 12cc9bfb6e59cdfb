// Runs the html5lib tokenizer tests (tests/data/html5lib-tokenizer) against our tokenizer: every
// test of every file, once per initial state it names. Parse errors are not compared. Files that
// hold no "tests" (xmlViolation) test html5lib's XML coercion, which browsers do not do.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "bot/html_tokenizer.h"
#include "qvbot/text.h"

namespace quorvanel::html {
namespace {

using nlohmann::json;

// Both sides compare in one form: printable ASCII as it is, every other character as \u{X}.
std::string Escaped(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u >= 0x20 && u < 0x7F && u != '\\') {
            out.push_back(static_cast<char>(u));
        } else {
            char unit[16];
            std::snprintf(unit, sizeof unit, "\\u{%X}", u);
            out += unit;
        }
    }
    return out;
}

// The text of a string of a test, with the \u escapes of a doubleEscaped test resolved (a
// surrogate pair to one character where wchar_t holds it).
std::wstring Text(const json& value, bool doubleEscaped) {
    const std::wstring text = qvbot::WideFromUtf8(value.get<std::string>());
    if (!doubleEscaped) return text;
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, L"\\u") != 0 || i + 6 > text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const auto unit = std::stoul(std::string(text.begin() + i + 2, text.begin() + i + 6), nullptr, 16);
        i += 5;
        if (sizeof(wchar_t) == 4 && unit >= 0xDC00 && unit <= 0xDFFF && !out.empty() &&
            out.back() >= 0xD800 && out.back() <= 0xDBFF) {
            out.back() = static_cast<wchar_t>(0x10000 + ((out.back() - 0xD800) << 10) + (unit - 0xDC00));
        } else {
            out.push_back(static_cast<wchar_t>(unit));
        }
    }
    return out;
}

json Str(const std::optional<std::wstring>& text) { return text ? json(Escaped(*text)) : json(); }

// Character tokens are compared merged, however either side splits them.
void Append(json& tokens, json token) {
    if (token[0] == "Character" && !tokens.empty() && tokens.back()[0] == "Character") {
        tokens.back()[1] = tokens.back()[1].get<std::string>() + token[1].get<std::string>();
    } else {
        tokens.push_back(std::move(token));
    }
}

json Expected(const json& output, bool doubleEscaped) {
    json tokens = json::array();
    for (json token : output) {
        for (json& field : token) {
            if (field.is_string()) field = Escaped(Text(field, doubleEscaped));
            if (!field.is_object()) continue;
            json attributes = json::object();
            for (const auto& [name, value] : field.items()) {
                attributes[Escaped(Text(json(name), doubleEscaped))] = Escaped(Text(value, doubleEscaped));
            }
            field = attributes;
        }
        if (token[0] == "StartTag" && token.size() > 3 && token[3] == false) token.erase(3);
        Append(tokens, std::move(token));
    }
    return tokens;
}

json Actual(std::wstring_view input, TokenizerState state, const json& lastStartTag) {
    Tokenizer tokenizer(input);
    tokenizer.SetState(state);
    if (lastStartTag.is_string()) tokenizer.SetLastStartTag(Text(lastStartTag, false));
    json tokens = json::array();
    for (;;) {
        const Token& t = tokenizer.Next();
        switch (t.type) {
            case TokenType::EndOfFile: return tokens;
            case TokenType::Doctype:
                Append(tokens, {"DOCTYPE", Str(t.doctypeName), Str(t.publicId), Str(t.systemId), !t.forceQuirks});
                break;
            case TokenType::StartTag: {
                json attributes = json::object();
                for (const Attribute& a : t.attributes) attributes[Escaped(a.name)] = Escaped(a.value);
                json token = {"StartTag", Escaped(t.name), attributes};
                if (t.selfClosing) token.push_back(true);
                Append(tokens, std::move(token));
                break;
            }
            case TokenType::EndTag: Append(tokens, {"EndTag", Escaped(t.name)}); break;
            case TokenType::Comment: Append(tokens, {"Comment", Escaped(t.data)}); break;
            case TokenType::Character: Append(tokens, {"Character", Escaped(t.data)}); break;
        }
    }
}

TEST(Html5libTokenizer, EveryTestOfEveryFilePasses) {
    const std::map<std::string, TokenizerState> states = {
        {"Data state", TokenizerState::Data},           {"PLAINTEXT state", TokenizerState::Plaintext},
        {"RCDATA state", TokenizerState::Rcdata},       {"RAWTEXT state", TokenizerState::Rawtext},
        {"Script data state", TokenizerState::ScriptData},
        {"CDATA section state", TokenizerState::CdataSection}};
    int runs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QV_HTML5LIB_TOKENIZER_DIR)) {
        if (entry.path().extension() != ".test") continue;
        const json file = json::parse(std::ifstream(entry.path()));
        for (const json& test : file.value("tests", json::array())) {
            const bool doubleEscaped = test.value("doubleEscaped", false);
            const std::wstring input = Text(test["input"], doubleEscaped);
            const json expected = Expected(test["output"], doubleEscaped);
            for (const json& state : test.value("initialStates", json::array({"Data state"}))) {
                ++runs;
                const json actual = Actual(input, states.at(state), test.value("lastStartTag", json()));
                EXPECT_EQ(actual, expected) << entry.path().filename() << ": " << test["description"]
                                            << " in " << state << "\n  input: " << Escaped(input);
            }
        }
    }
    EXPECT_GT(runs, 6000);
}

}  // namespace
}  // namespace quorvanel::html
