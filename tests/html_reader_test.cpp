#include "bot/html_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cwctype>
#include <random>

namespace quorvanel::html {
namespace {

using namespace std::string_literals;

TEST(BodyInnerHtml, SerializesTheBodyAsABrowserControlDid) {
    EXPECT_EQ(BodyInnerHtml(L"<html><body><p>Hi</p><b>Kestro:</b> Hello there. <br/> <form><input "
                            L"type=hidden name=botcust2 value=\"x1\"></form></body></html>"),
              L"<P>Hi</P><B>Kestro:</B> Hello there. <BR> <FORM><INPUT type=\"hidden\" "
              L"name=\"botcust2\" value=\"x1\"></FORM>");
}

TEST(BodyInnerHtml, EmptyInputsGiveEmptyText) {
    EXPECT_EQ(BodyInnerHtml(L""), L"");
    EXPECT_EQ(BodyInnerHtml(L"<html><body></body></html>"), L"");
    EXPECT_EQ(BodyInnerHtml(L"<body>"), L"");
    EXPECT_EQ(BodyInnerHtml(L"<!DOCTYPE html><html><head><title>t</title></head></html>"), L"");
    EXPECT_EQ(BodyInnerHtml(L"  \r\n\t "), L"");
}

TEST(BodyInnerHtml, WithoutABodyTagTheBodyStartsAfterTheHead) {
    EXPECT_EQ(BodyInnerHtml(L"<!DOCTYPE html><html lang=en><head><title>A <b> &amp; B</title>"
                            L"<meta charset=utf-8><link rel=icon href=x><base href=/>"
                            L"<style>p > a { }</style><script>if (a<b) document.write('<p>');"
                            L"</script></head>\n  <p>Text</p>"),
              L"<P>Text</P>");
    // Text opens the body at its first non-blank character.
    EXPECT_EQ(BodyInnerHtml(L"<title>x</title>  \n Hello <b>w</b>"), L"Hello <B>w</B>");
    EXPECT_EQ(BodyInnerHtml(L"Just text"), L"Just text");
    // A script-running browser reads a noscript in the head as text: all of it is skipped.
    EXPECT_EQ(BodyInnerHtml(L"<head><noscript><img src=pixel></noscript></head><p>x"), L"<P>x");
    // Comments and stray end tags before the body go nowhere; </br> is a line break.
    EXPECT_EQ(BodyInnerHtml(L"<!-- c --></p></head></html><div>d</div>"), L"<DIV>d</DIV>");
    EXPECT_EQ(BodyInnerHtml(L"<head></head></br>x"), L"<BR>x");
    // Any tag a head cannot hold opens the body, even a raw-text one.
    EXPECT_EQ(BodyInnerHtml(L"<head></head><textarea>a<b</textarea>"),
              L"<TEXTAREA>a&lt;b</TEXTAREA>");
}

TEST(BodyInnerHtml, TheBodyEndsAtTheBodyOrHtmlEndTagOrTheEnd) {
    EXPECT_EQ(BodyInnerHtml(L"<body>a</body>b"), L"a");
    EXPECT_EQ(BodyInnerHtml(L"<body>a</html>b"), L"a");
    EXPECT_EQ(BodyInnerHtml(L"<body><div>a"), L"<DIV>a");
    EXPECT_EQ(BodyInnerHtml(L"<p>a</body>b"), L"<P>a");
    // Blanks right after an explicit body start tag are content.
    EXPECT_EQ(BodyInnerHtml(L"<body>\n <p>x</p>\n</body>"), L"\n <P>x</P>\n");
    // A second body or html start tag changes nothing.
    EXPECT_EQ(BodyInnerHtml(L"<p>a<body class=x>b<html lang=y>c</p>"), L"<P>abc</P>");
    // "</body>" inside script or textarea text does not end anything.
    EXPECT_EQ(
        BodyInnerHtml(L"<body><script>w('</body>')</script><textarea></body></textarea>z</body>"),
        L"<SCRIPT>w('</body>')</SCRIPT><TEXTAREA>&lt;/body&gt;</TEXTAREA>z");
}

TEST(BodyInnerHtml, TagsAreUpperCasedWithQuotedLowerCaseAttributes) {
    EXPECT_EQ(BodyInnerHtml(L"<body><DiV ClAsS=a ID='b' data-x=\"c\" hidden>x</dIv>"),
              L"<DIV class=\"a\" id=\"b\" data-x=\"c\" hidden=\"\">x</DIV>");
    EXPECT_EQ(BodyInnerHtml(L"<body><a title='say \"hi\" & bye' href=\"x?a=1&amp;b=2\">"),
              L"<A title=\"say &quot;hi&quot; &amp; bye\" href=\"x?a=1&amp;b=2\">");
    // Only & and " are escaped in attribute values.
    EXPECT_EQ(BodyInnerHtml(L"<body><i t='<a>&nbsp;\u00E9'>"), L"<I t=\"<a>\u00A0\u00E9\">");
    EXPECT_EQ(BodyInnerHtml(L"<body><a x=1 X=2 y=3>"), L"<A x=\"1\" y=\"3\">");
    EXPECT_EQ(BodyInnerHtml(L"<body><div/><span />"), L"<DIV><SPAN>");
    EXPECT_EQ(BodyInnerHtml(L"<body><t\u00E9>"), L"<T\u00E9>");  // only ASCII letters change
}

TEST(BodyInnerHtml, VoidElementsHaveNoEndTag) {
    EXPECT_EQ(BodyInnerHtml(L"<body><img src=a><br/><hr></img></hr></input><wbr></wbr>"),
              L"<IMG src=\"a\"><BR><HR><WBR>");
    EXPECT_EQ(BodyInnerHtml(L"<body>a</br>b</BR >c"), L"a<BR>b<BR>c");
    for (const wchar_t* tag :
         {L"area", L"base", L"br", L"col", L"embed", L"hr", L"img", L"input", L"link", L"meta",
          L"param", L"source", L"track", L"wbr", L"basefont", L"bgsound", L"frame", L"keygen"}) {
        const std::wstring name(tag);
        std::wstring upper;
        for (wchar_t c : name) upper.push_back(static_cast<wchar_t>(std::towupper(c)));
        EXPECT_EQ(BodyInnerHtml(L"<body><" + name + L"/>x</" + name + L">y"),
                  name == L"br" ? L"<BR>x<BR>y" : L"<" + upper + L">xy");
    }
}

TEST(BodyInnerHtml, TextIsEscaped) {
    EXPECT_EQ(BodyInnerHtml(L"<body>a < b && c > d\u00A0e &copy; &lt;p&gt; &nbsp;"),
              L"a &lt; b &amp;&amp; c &gt; d&nbsp;e \u00A9 &lt;p&gt; &nbsp;");
    // Browsers drop NULs from the body's text.
    EXPECT_EQ(BodyInnerHtml(L"<body>a\0b<p>\0</p>"s), L"ab<P></P>");
    EXPECT_EQ(BodyInnerHtml(L"<body>\U0001F600&#x1F600;"), L"\U0001F600\U0001F600");
    EXPECT_EQ(BodyInnerHtml(L"<body>a\r\nb\rc"), L"a\nb\nc");
}

TEST(BodyInnerHtml, ScriptStyleAndRawTextElementsKeepTheirContentAsWritten) {
    EXPECT_EQ(BodyInnerHtml(L"<body><script>if (a < b && c) x = '<b>&amp;';</script>"),
              L"<SCRIPT>if (a < b && c) x = '<b>&amp;';</SCRIPT>");
    EXPECT_EQ(BodyInnerHtml(L"<body><style>a > b { content: \"&\" }</style><p>"),
              L"<STYLE>a > b { content: \"&\" }</STYLE><P>");
    for (const wchar_t* tag : {L"xmp", L"iframe", L"noembed", L"noframes"}) {
        const std::wstring name(tag);
        std::wstring upper;
        for (wchar_t c : name) upper.push_back(static_cast<wchar_t>(std::towupper(c)));
        EXPECT_EQ(BodyInnerHtml(L"<body><" + name + L"><b>&amp;</b></" + name + L"><b>"),
                  L"<" + upper + L"><b>&amp;</b></" + upper + L"><B>");
    }
    // Everything after plaintext is its text.
    EXPECT_EQ(BodyInnerHtml(L"<body><plaintext><b>&amp;</plaintext></body>"),
              L"<PLAINTEXT><b>&amp;</plaintext></body>");
    // Title and textarea text is decoded, then escaped again.
    EXPECT_EQ(BodyInnerHtml(L"<body><textarea><b>&amp;\u00A0</textarea><title>a<b</title>"),
              L"<TEXTAREA>&lt;b&gt;&amp;&nbsp;</TEXTAREA><TITLE>a&lt;b</TITLE>");
    // A script in an escaped "<!--" run ends only at a real end tag.
    EXPECT_EQ(BodyInnerHtml(L"<body><script><!--<script></script>--></script>x"),
              L"<SCRIPT><!--<script></script>--></SCRIPT>x");
}

TEST(BodyInnerHtml, CommentsAreKeptAndDoctypesDropped) {
    EXPECT_EQ(BodyInnerHtml(L"<body><!-- a -- b --><?php x ?><![CDATA[c]]><!DOCTYPE html></x y>"),
              L"<!-- a -- b --><!--?php x ?--><!--[CDATA[c]]--></X>");
    EXPECT_EQ(BodyInnerHtml(L"<body>a<!--unclosed"), L"a<!--unclosed-->");
}

TEST(BodyInnerHtml, MalformedMarkupHasADefinedResult) {
    EXPECT_EQ(BodyInnerHtml(L"<body><div class=\"never closed"), L"");
    EXPECT_EQ(BodyInnerHtml(L"<body>a<"), L"a&lt;");
    EXPECT_EQ(BodyInnerHtml(L"<body>a < b <3 c</>d"), L"a &lt; b &lt;3 cd");
    EXPECT_EQ(BodyInnerHtml(L"<body><p <b>x"), L"<P <b=\"\">x");
    EXPECT_EQ(BodyInnerHtml(L"<body><a href=x\"y'z`>"), L"<A href=\"x&quot;y'z`\">");
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(BodyInnerHtml(L"<body>" + lone + L"<i a=" + lone + L">"),
              lone + L"<I a=\"" + lone + L"\">");
}

// Long runs of half-finished constructs are read to the end with a sane result. (Their speed is
// measured in bench/html_bench.cpp.)
TEST(BodyInnerHtml, PathologicalInputsAreReadToTheEnd) {
    constexpr std::size_t kRepeats = 20000;
    const std::wstring units[] = {
        L"&",
        L"&am",
        L"&#x",
        L"<",
        L"</",
        L"<a ",
        L"a=",
        L"<!--",
        L"<!--<!--x",
        L"--!",
        L"<?",
        L"<![CDATA[",
        L"<!DOCTYPE a PUBLIC '",
        L"<textarea></textarea ",
        L"<script><!--<script>",
        L"</br>",
        L"<x y",
        L"\r\n",
        std::wstring(1, L'\0'),
    };
    for (const std::wstring& unit : units) {
        std::wstring input = L"<body>";
        input.reserve(unit.size() * kRepeats + 6);
        for (std::size_t i = 0; i < kRepeats; ++i) input += unit;
        const std::wstring body = BodyInnerHtml(input);
        const std::optional<std::wstring> value = FirstFormControlValue(input, L"x");
        // At worst every character escaped.
        EXPECT_LE(body.size(), input.size() * 6) << std::string(unit.begin(), unit.end());
        EXPECT_FALSE(value.has_value());
    }
}

// The output read again as a body gives itself back. Comments are left out of the input: as in
// browsers, a comment holding "<!-" does not survive a second reading.
TEST(BodyInnerHtml, SerializingTwiceChangesNothing) {
    const std::wstring pieces[] = {
        L"<",
        L">",
        L"/",
        L"-",
        L"=",
        L"\"",
        L"'",
        L"&",
        L"#",
        L";",
        L" ",
        L"\r",
        L"\n",
        L"a",
        L"B",
        L"1",
        L"<b>",
        L"</b>",
        L"<p class='x\"y'>",
        L"<br/>",
        L"</br>",
        L"<img src=a>",
        L"</img>",
        L"<script>",
        L"</script>",
        L"<style>",
        L"</style>",
        L"<textarea>",
        L"</textarea>",
        L"<title>",
        L"<xmp>",
        L"<plaintext>",
        L"<body>",
        L"<html>",
        L"</body>",
        L"&amp;",
        L"&not",
        L"&notin;",
        L"&#x41;",
        L"&#0;",
        L"&nbsp;",
        L"\u00A0",
        L"\U0001F600",
        std::wstring(1, static_cast<wchar_t>(0xDC00)),
        std::wstring(1, L'\0'),
    };
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int round = 0; round < 5000; ++round) {
        std::wstring input;
        for (int n = length(random); n > 0; --n) input += pieces[pick(random)];
        const std::wstring once = BodyInnerHtml(input);
        ASSERT_EQ(BodyInnerHtml(L"<body>" + once), once) << "round " << round;
    }
}

TEST(FirstFormControlValue, FindsAnInputInTheFirstForm) {
    const std::wstring page =
        L"<html><body><p>Hi</p><form action=x><input type=hidden name=botcust2 value=\"x1\">"
        L"<input name=empty value=''><input name=novalue><input name=amp value='a&amp;b&quot;'>"
        L"<button name=go value=now>Go</button></form></body></html>";
    EXPECT_EQ(FirstFormControlValue(page, L"botcust2"), L"x1");
    EXPECT_EQ(FirstFormControlValue(page, L"empty"), L"");
    EXPECT_EQ(FirstFormControlValue(page, L"novalue"), L"");
    EXPECT_EQ(FirstFormControlValue(page, L"amp"), L"a&b\"");
    EXPECT_EQ(FirstFormControlValue(page, L"go"), L"now");
    EXPECT_EQ(FirstFormControlValue(page, L"BotCust2"), std::nullopt);  // names are case-sensitive
    EXPECT_EQ(FirstFormControlValue(page, L"missing"), std::nullopt);
    EXPECT_EQ(FirstFormControlValue(page, L""), std::nullopt);
}

TEST(FirstFormControlValue, OnlyTheFirstFormCounts) {
    const std::wstring page =
        L"<input name=a value=before><form><input name=a value=1><input name=a value=2></form>"
        L"<input name=b value=between><form><input name=b value=second></form>";
    EXPECT_EQ(FirstFormControlValue(page, L"a"), L"1");
    EXPECT_EQ(FirstFormControlValue(page, L"b"), std::nullopt);
    EXPECT_EQ(FirstFormControlValue(L"<p><input name=a value=1>", L"a"), std::nullopt);
    EXPECT_EQ(FirstFormControlValue(L"", L"a"), std::nullopt);
    // A form start tag inside the first form is ignored, as browsers do.
    EXPECT_EQ(FirstFormControlValue(L"<form><form></p><input name=a value=1></form>", L"a"), L"1");
    // Without an end tag the form runs to the end of the document.
    EXPECT_EQ(FirstFormControlValue(L"<FORM><div><INPUT NAME=a VALUE=1>", L"a"), L"1");
}

TEST(FirstFormControlValue, FormsInCommentsScriptsAndTextDoNotCount) {
    EXPECT_EQ(FirstFormControlValue(L"<!-- <form><input name=a value=c> --><script>s='<form>"
                                    L"<input name=a value=s>'</script><title><form></title>"
                                    L"<form><input name=a value=real></form>",
                                    L"a"),
              L"real");
    EXPECT_EQ(FirstFormControlValue(L"<form><textarea name=t><input name=a value=1></textarea>"
                                    L"</form>",
                                    L"a"),
              std::nullopt);
}

TEST(FirstFormControlValue, ATextareaGivesItsTextWithoutTheFirstNewline) {
    EXPECT_EQ(
        FirstFormControlValue(L"<form><textarea name=t>\r\nline 1\r\nA &amp; <b></textarea>", L"t"),
        L"line 1\nA & <b>");
    EXPECT_EQ(FirstFormControlValue(L"<form><textarea name=t>\n\nx</textarea>", L"t"), L"\nx");
    EXPECT_EQ(FirstFormControlValue(L"<form><textarea name=t></textarea>", L"t"), L"");
    EXPECT_EQ(FirstFormControlValue(L"<form><textarea name=t>to the end", L"t"), L"to the end");
    EXPECT_EQ(
        FirstFormControlValue(L"<form><textarea name=t value=attr>\U0001F600</textarea>", L"t"),
        L"\U0001F600");
}

}  // namespace
}  // namespace quorvanel::html
