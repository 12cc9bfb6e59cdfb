#include "relay/message_detection.h"

#include <gtest/gtest.h>

namespace quorvanel {
namespace {

// Histories as GetControlText gives them: the text and its terminating NUL.
std::wstring Read(std::wstring text) {
    text.push_back(L'\0');
    return text;
}

std::optional<std::wstring> Block(const std::wstring& history, const std::wstring& name = L"Bob") {
    return ExtractLatestBlock(Read(history), name);
}

TEST(ExtractLatestBlock, TakesTheLinesAfterTheLastSpeakerLineUpToAnySpeakerLine) {
    EXPECT_EQ(Block(L"Hello\r\nBob says:\r\n  hello\r\nMe says:\r\n  hi there\r\n"), L"hello");
    // Each line is followed by one space before the next; only the outer spaces go.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  one\r\n  two\r\n"), L"one   two");
    // The latest of several blocks of the other party.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  old\r\nMe says:\r\n  r\r\nBob says:\r\n  new\r\n"),
              L"new");
    // The block ends at anybody's speaker line, including a third person's.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  a\r\nCarol says:\r\n  b\r\n"), L"a");
    // A message line that itself ends in " says:" ends the block there.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  first\r\n  and then he says:\r\n  more\r\n"), L"first");
}

TEST(ExtractLatestBlock, TrimsSpacesOnlyNotTabsOrNoBreakSpaces) {
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n \t hi \u00A0 \r\n"), L"\t hi \u00A0");
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  hi\u00A0\r\n"), L"hi\u00A0");
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n     \r\n"), L"");
}

TEST(ExtractLatestBlock, LineZeroIsNeverASpeakerLine) {
    // Bob's only speaker line is line 0: the block starts at line 1 all the same.
    EXPECT_EQ(Block(L"Bob says:\r\n  hello\r\n"), L"hello");
    // No speaker line at all: lines from 1 up to the first speaker line are the message.
    EXPECT_EQ(Block(L"header\r\n  stray\r\nMe says:\r\n  hi\r\n"), L"stray");
    EXPECT_EQ(Block(L"header\r\nMe says:\r\n  hi\r\n"), L"");
}

TEST(ExtractLatestBlock, NameMustMatchExactlyWithCase) {
    const std::wstring history = L"x\r\nMe says:\r\n  hi\r\nbob says:\r\n  lower\r\n";
    EXPECT_EQ(Block(history, L"bob"), L"lower");
    EXPECT_EQ(Block(history, L"Bob"), L"");  // not recognised: block from line 1 ends at once
    EXPECT_EQ(Block(L"x\r\n Bob says:\r\n  a\r\n", L"Bob"), L"");
}

TEST(ExtractLatestBlock, TheNulStaysOnTheLastLineUntilTheCut) {
    // The last line carries the NUL, so it is never a speaker line and never ends a block.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  hi\r\nMe says:"), L"hi Me says:");
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  a\r\nBob says:"), L"a Bob says:");
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  no line break at the end"), L"no line break at the end");
    // The speaker line is the last full line: the block is the empty last line.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n"), L"");
    // The speaker line without the NUL (a buffer that was not terminated) ends the history.
    EXPECT_EQ(ExtractLatestBlock(L"x\r\nBob says:", L"Bob"), L"");
}

TEST(ExtractLatestBlock, ANulInTheMiddleCutsTheMessageThere) {
    std::wstring history = L"x\r\nBob says:\r\n  one\r\n  tw";
    history += L'\0';
    history += L"o\r\n  three\r\n";
    EXPECT_EQ(ExtractLatestBlock(Read(history), L"Bob"), L"one   tw");
}

TEST(ExtractLatestBlock, OnlyCrLfSplitsLines) {
    EXPECT_EQ(Block(L"no line breaks at all"), std::nullopt);
    EXPECT_EQ(Block(L""), std::nullopt);
    EXPECT_EQ(Block(L"lone\rcr\nand lf"), std::nullopt);
    // A lone CR or LF stays inside its line.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  a\nb\rc\r\n"), L"a\nb\rc");
    EXPECT_EQ(Block(L"x\r\nBob says:\r\r\n  a\r\n"), L"Bob says:\r   a");  // no speaker line
    EXPECT_EQ(Block(L"\r\n"), L"");
}

TEST(ExtractLatestBlock, LargeHistoryFindsTheLatestBlock) {
    std::wstring history = L"start\r\n";
    for (int i = 0; i < 20000; ++i) history += L"Bob says:\r\n  line " + std::to_wstring(i) + L"\r\n";
    EXPECT_EQ(Block(history), L"line 19999");
}

}  // namespace
}  // namespace quorvanel

namespace quorvanel {
namespace {

TEST(ExtractLatestBlock, SpeakerLineMustBeAWholeLine) {
    // "Bob says:" inside a longer line, or continued on the same line, is no speaker line.
    EXPECT_EQ(Block(L"x\r\nBob says:\r\n  a\r\nXBob says:\r\n  b\r\nBob says: hi\r\n  c\r\n"),
              L"a");
    // A name holding a line break can never match a line.
    EXPECT_EQ(Block(L"x\r\nB\r\nob says:\r\n  a\r\n", L"B\r\nob"), L"B");
    // A name ending in a CR.
    EXPECT_EQ(Block(L"x\r\nBob\r says:\r\n  a\r\n", L"Bob\r"), L"a");
    // An empty name: the speaker line is " says:" alone.
    EXPECT_EQ(Block(L"x\r\n says:\r\n  a\r\nBob says:\r\n", L""), L"a");
}

}  // namespace
}  // namespace quorvanel
