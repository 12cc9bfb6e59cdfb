// Runs the html5lib tokenizer tests (tests/data/html5lib-tokenizer) against our tokenizer: every
// test of every file, once per initial state it names. Parse errors are not compared.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "bot/html_tokenizer.h"
#include "mini_json.h"

#ifndef QV_HTML5LIB_TOKENIZER_DIR
#error "QV_HTML5LIB_TOKENIZER_DIR must name the folder of the html5lib tokenizer tests"
#endif

namespace quorvanel::html {
namespace {

using testing::json::Value;

// Every file of the suite; pendingChanges.test is upstream's pending-changes file under a
// shorter name.
const char* const kFiles[] = {
    "contentModelFlags",
    "domjs",
    "entities",
    "escapeFlag",
    "namedEntities",
    "numericEntities",
    "pendingChanges",
    "test1",
    "test2",
    "test3",
    "test4",
    "unicodeChars",
    "unicodeCharsProblematic",
    "xmlViolation",
};

struct KnownException {
    const char* file;
    const char* description;
    const char* reason;
};

// Tests that expect something other than what browsers do; they must keep failing, so that
// this list stays true.
const KnownException kKnownExceptions[] = {
    {"xmlViolation", "Non-XML character",
     "expects html5lib's XML-coercion option (U+FFFF to U+FFFD), not browser tokenizing"},
    {"xmlViolation", "Non-XML space",
     "expects html5lib's XML-coercion option (form feed to space), not browser tokenizing"},
    {"xmlViolation", "Double hyphen in comment",
     "expects html5lib's XML-coercion option (\"--\" to \"- -\"), not browser tokenizing"},
};

const char* KnownExceptionReason(std::string_view file, const std::wstring& description) {
    for (const KnownException& e : kKnownExceptions) {
        const std::string_view d = e.description;
        if (file == e.file && description == std::wstring(d.begin(), d.end())) return e.reason;
    }
    return nullptr;
}

std::string DataDir() {
    if (const char* dir = std::getenv("QV_HTML5LIB_TOKENIZER_DIR"); dir != nullptr && *dir != 0) {
        return dir;
    }
    return QV_HTML5LIB_TOKENIZER_DIR;
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Printable ASCII for failure messages: everything else as \uXXXX (or \U for > U+FFFF).
std::string Printable(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u >= 0x20 && u < 0x7F && u != '\\') {
            out.push_back(static_cast<char>(u));
        } else {
            char buf[16];
            std::snprintf(buf, sizeof buf, u > 0xFFFF ? "\\U%08X" : "\\u%04X", u);
            out += buf;
        }
    }
    return out;
}

// A token as the test files write it, so that both sides compare and print alike.
struct TestToken {
    std::string kind;
    std::vector<std::optional<std::wstring>> text;  // name, data, or DOCTYPE name and ids
    std::map<std::wstring, std::wstring> attributes;
    bool flag = false;  // self-closing, or DOCTYPE "correct" (not force-quirks)

    bool operator==(const TestToken&) const = default;
};

std::string Describe(const std::vector<TestToken>& tokens) {
    std::string out = "[";
    for (const TestToken& t : tokens) {
        out += (out.size() > 1 ? ", [" : "[") + t.kind;
        for (const auto& s : t.text) out += s ? ", \"" + Printable(*s) + "\"" : ", null";
        if (t.kind == "StartTag") {
            out += ", {";
            for (const auto& [name, value] : t.attributes) {
                out += "\"" + Printable(name) + "\": \"" + Printable(value) + "\" ";
            }
            out += "}";
        }
        if (t.kind == "StartTag" || t.kind == "DOCTYPE") out += t.flag ? ", true" : ", false";
        out += "]";
    }
    return out + "]";
}

void AppendToken(std::vector<TestToken>& tokens, TestToken token) {
    // Character tokens are compared merged, however either side splits them.
    if (token.kind == "Character" && !tokens.empty() && tokens.back().kind == "Character") {
        *tokens.back().text[0] += *token.text[0];
    } else {
        tokens.push_back(std::move(token));
    }
}

std::optional<std::wstring> OptionalString(const Value& v, bool doubleEscaped) {
    if (v.IsNull()) return std::nullopt;
    return doubleEscaped ? testing::json::DecodeUnicodeEscapes(v.string) : v.string;
}

std::vector<TestToken> ExpectedTokens(const Value& output, bool doubleEscaped) {
    std::vector<TestToken> tokens;
    for (const Value& item : output.items) {
        const std::wstring& kind = item.items.at(0).string;
        TestToken t;
        t.kind.assign(kind.begin(), kind.end());
        if (t.kind == "DOCTYPE") {
            for (std::size_t i = 1; i <= 3; ++i)
                t.text.push_back(OptionalString(item.items.at(i), doubleEscaped));
            t.flag = item.items.at(4).boolean;
        } else {
            t.text.push_back(OptionalString(item.items.at(1), doubleEscaped));
        }
        if (t.kind == "StartTag") {
            const Value& attributes = item.items.at(2);
            for (std::size_t i = 0; i < attributes.keys.size(); ++i) {
                const std::wstring value = *OptionalString(attributes.items[i], doubleEscaped);
                t.attributes[doubleEscaped ? testing::json::DecodeUnicodeEscapes(attributes.keys[i])
                                           : attributes.keys[i]] = value;
            }
            t.flag = item.items.size() > 3 && item.items[3].boolean;
        }
        AppendToken(tokens, std::move(t));
    }
    return tokens;
}

std::vector<TestToken> ActualTokens(std::wstring_view input, TokenizerState state,
                                    const Value* lastStartTag) {
    Tokenizer tokenizer(input);
    tokenizer.SetState(state);
    if (lastStartTag != nullptr) tokenizer.SetLastStartTag(lastStartTag->string);
    std::vector<TestToken> tokens;
    for (;;) {
        const Token& token = tokenizer.Next();
        TestToken t;
        switch (token.type) {
            case TokenType::EndOfFile:
                return tokens;
            case TokenType::Doctype:
                t.kind = "DOCTYPE";
                t.text = {token.doctypeName, token.publicId, token.systemId};
                t.flag = !token.forceQuirks;
                break;
            case TokenType::StartTag:
                t.kind = "StartTag";
                t.text = {token.name};
                for (const Attribute& a : token.attributes) {
                    // A second attribute of one name would vanish in the map: report it.
                    if (!t.attributes.emplace(a.name, a.value).second)
                        t.attributes[L"(repeated) " + a.name] = a.value;
                }
                t.flag = token.selfClosing;
                break;
            case TokenType::EndTag:
                t.kind = "EndTag";
                t.text = {token.name};
                break;
            case TokenType::Comment:
                t.kind = "Comment";
                t.text = {token.data};
                break;
            case TokenType::Character:
                t.kind = "Character";
                t.text = {token.data};
                break;
        }
        AppendToken(tokens, std::move(t));
    }
}

std::optional<TokenizerState> StateNamed(const std::wstring& name) {
    static const std::map<std::wstring, TokenizerState> kStates = {
        {L"Data state", TokenizerState::Data},
        {L"PLAINTEXT state", TokenizerState::Plaintext},
        {L"RCDATA state", TokenizerState::Rcdata},
        {L"RAWTEXT state", TokenizerState::Rawtext},
        {L"Script data state", TokenizerState::ScriptData},
        {L"CDATA section state", TokenizerState::CdataSection},
    };
    const auto it = kStates.find(name);
    if (it == kStates.end()) return std::nullopt;
    return it->second;
}

class Html5libTokenizer : public ::testing::TestWithParam<const char*> {};

TEST_P(Html5libTokenizer, EveryTestPasses) {
    const std::string file = GetParam();
    const std::string path = DataDir() + "/" + file + ".test";
    const std::optional<std::string> text = ReadFile(path);
    ASSERT_TRUE(text.has_value()) << "cannot read " << path;
    const std::optional<Value> root = testing::json::Parse(*text);
    ASSERT_TRUE(root.has_value()) << path << " is not well-formed JSON";
    const Value* tests = root->Get(L"tests");
    if (tests == nullptr) tests = root->Get(L"xmlViolationTests");
    ASSERT_NE(tests, nullptr) << path << " holds no tests";

    int runs = 0, passed = 0, excepted = 0;
    for (const Value& test : tests->items) {
        const bool doubleEscaped =
            test.Get(L"doubleEscaped") != nullptr && test.Get(L"doubleEscaped")->boolean;
        const std::wstring& description = test.Get(L"description")->string;
        const std::wstring input =
            doubleEscaped ? testing::json::DecodeUnicodeEscapes(test.Get(L"input")->string)
                          : test.Get(L"input")->string;
        const std::vector<TestToken> expected = ExpectedTokens(*test.Get(L"output"), doubleEscaped);
        std::vector<std::wstring> stateNames = {L"Data state"};
        if (const Value* states = test.Get(L"initialStates")) {
            stateNames.clear();
            for (const Value& s : states->items) stateNames.push_back(s.string);
        }
        const char* exceptionReason = KnownExceptionReason(file, description);
        for (const std::wstring& stateName : stateNames) {
            ++runs;
            const std::optional<TokenizerState> state = StateNamed(stateName);
            if (!state) {
                ADD_FAILURE() << file << ": \"" << Printable(description) << "\": unknown state "
                              << Printable(stateName);
                continue;
            }
            const std::vector<TestToken> actual =
                ActualTokens(input, *state, test.Get(L"lastStartTag"));
            const bool same = actual == expected;
            if (same && exceptionReason == nullptr) {
                ++passed;
            } else if (!same && exceptionReason != nullptr) {
                ++excepted;
            } else if (same) {
                ADD_FAILURE() << file << ": \"" << Printable(description)
                              << "\" passes now: take it off the known exceptions";
            } else {
                ADD_FAILURE() << file << ": \"" << Printable(description) << "\" in "
                              << Printable(stateName) << "\n  input:    \"" << Printable(input)
                              << "\"\n  expected: " << Describe(expected)
                              << "\n  actual:   " << Describe(actual);
            }
        }
    }
    std::cout << "[ html5lib ] " << file << ": " << passed << "/" << runs << " passed";
    if (excepted > 0) std::cout << ", " << excepted << " known exceptions";
    std::cout << " (" << tests->items.size() << " tests)" << std::endl;
    RecordProperty("passed", passed);
    RecordProperty("runs", runs);
    RecordProperty("known_exceptions", excepted);
    EXPECT_GT(runs, 0);
    EXPECT_EQ(passed + excepted, runs);
}

INSTANTIATE_TEST_SUITE_P(Files, Html5libTokenizer, ::testing::ValuesIn(kFiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// Every file in the folder is one of those above, so none is silently left out.
TEST(Html5libTokenizerData, FolderHoldsExactlyTheListedFiles) {
    std::set<std::string> onDisk;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir(), error)) {
        if (entry.path().extension() == ".test") onDisk.insert(entry.path().stem().string());
    }
    ASSERT_FALSE(error) << "cannot list " << DataDir() << ": " << error.message();
    EXPECT_EQ(onDisk, std::set<std::string>(std::begin(kFiles), std::end(kFiles)));
}

}  // namespace
}  // namespace quorvanel::html
