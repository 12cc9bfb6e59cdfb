#include "relay/message_detection.h"

#include <gtest/gtest.h>

namespace quorvanel {
namespace {

using namespace std::string_literals;

TEST(ExtractLatestBlock, TakesTheLinesAfterTheLastSpeakerLineUpToAnyOther) {
    struct Case {
        std::wstring history;  // as read from the control, with its NUL added below
        const wchar_t* name;
        std::optional<std::wstring> block;
    };
    const Case cases[] = {
        {L"Hello\r\nBob says:\r\n  hello\r\nMe says:\r\n  hi there\r\n", L"Bob", L"hello"},
        {L"x\r\nBob says:\r\n  one\r\n  two\r\n", L"Bob", L"one   two"},
        {L"x\r\nBob says:\r\n  old\r\nMe says:\r\n  r\r\nBob says:\r\n  new\r\n", L"Bob", L"new"},
        {L"x\r\nBob says:\r\n  first\r\n  and then he says:\r\n  more\r\n", L"Bob", L"first"},
        // Only spaces are trimmed.
        {L"x\r\nBob says:\r\n \t hi \u00A0 \r\n", L"Bob", L"\t hi \u00A0"},
        // Line 0 is never a speaker line; without one the block starts at line 1.
        {L"Bob says:\r\n  hello\r\n", L"Bob", L"hello"},
        {L"header\r\n  stray\r\nMe says:\r\n  hi\r\n", L"Bob", L"stray"},
        // The name matches whole lines exactly, with case.
        {L"x\r\nMe says:\r\n  hi\r\nbob says:\r\n  lower\r\n", L"Bob", L""},
        {L"x\r\nBob says:\r\n  a\r\nXBob says:\r\n  b\r\nBob says: hi\r\n  c\r\n", L"Bob", L"a"},
        {L"x\r\nB\r\nob says:\r\n  a\r\n", L"B\r\nob", L"B"},
        {L"x\r\n says:\r\n  a\r\nBob says:\r\n", L"", L"a"},
        // The NUL stays on the last line, which is never a speaker line, until the cut.
        {L"x\r\nBob says:\r\n  hi\r\nMe says:", L"Bob", L"hi Me says:"},
        {L"x\r\nBob says:\r\n  one\r\n  tw\0o\r\n  three\r\n"s, L"Bob", L"one   tw"},
        // Only CR LF splits lines.
        {L"lone\rcr\nand lf", L"Bob", std::nullopt},
        {L"x\r\nBob says:\r\n  a\nb\rc\r\n", L"Bob", L"a\nb\rc"},
        {L"x\r\nBob says:\r\r\n  a\r\n", L"Bob", L"Bob says:\r   a"},
    };
    for (const Case& c : cases) {
        std::wstring read = c.history;
        read.push_back(L'\0');
        EXPECT_EQ(ExtractLatestBlock(read, c.name), c.block) << std::string(c.history.begin(), c.history.end());
    }
    // A buffer without its NUL: the speaker line ends the history.
    EXPECT_EQ(ExtractLatestBlock(L"x\r\nBob says:", L"Bob"), L"");
}

TEST(ReadLatestLines, TheUsersLatestOwnLineSinceTheOtherPartysBlockBeforeTheLatest) {
    const struct {
        const wchar_t* history;
        const wchar_t* writing;
    } cases[] = {
        {L"x\r\nBob says:\r\n  hi\r\n", L""},
        {L"x\r\nBob says:\r\n  hi\r\nMe says:\r\n  robot\u00A0\r\n", L""},
        {L"x\r\nMe says:\r\n  early\r\nBob says:\r\n  hi\r\nMe says:\r\n  mine\r\n", L"mine"},
        // Counted from Bob's block before his latest: written, then answered within one look.
        {L"x\r\nMe says:\r\n  old\r\nBob says:\r\n  a\r\nMe says:\r\n  mine\r\nBob says:\r\n  b\r\n", L"mine"},
        // Two speaker lines after Bob's: a robot's reply between two of the user's own.
        {L"x\r\nBob says:\r\n  hi\r\nMe says:\r\n  a\r\nMe says:\r\n  r\u00A0\r\nMe says:\r\n  b\r\n",
         L"b"},
        // A user line ending in the marker inside a block of theirs does not make it the robot's.
        {L"x\r\nBob says:\r\n  hi\r\nMe says:\r\n  r\u00A0\r\n  more\r\n", L"r\u00A0   more"},
        // Without a line of Bob's, everything after line 1's block is somebody else's.
        {L"x\r\nAl says:\r\n  yo\r\n", L"yo"},
        {L"no line break", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadLatestLines(c.history, L"Bob").userWriting, c.writing) << c.history;
}

}  // namespace
}  // namespace quorvanel
