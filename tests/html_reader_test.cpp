#include "bot/html_reader.h"

#include <gtest/gtest.h>

namespace quorvanel::html {
namespace {

using namespace std::string_literals;

TEST(BodyInnerHtml, SerializesTheBodyAsTheOldBrowserControlDid) {
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    const std::pair<std::wstring, std::wstring> pages[] = {
        {L"<html><body><p>Hi</p><b>Kestro:</b> Hello there. <br/> <form><input type=hidden "
         L"name=botcust2 value=\"x1\"></form></body></html>",
         L"<P>Hi</P><B>Kestro:</B> Hello there. <BR> <FORM><INPUT type=\"hidden\" name=\"botcust2\" value=\"x1\"></FORM>"},
        {L"", L""}, {L"  \r\n\t ", L""}, {L"Just text", L"Just text"},
        // Without a body tag the body starts after the head, at the first tag or text a head cannot hold.
        {L"<!DOCTYPE html><html><head><title>A <b> &amp; B</title><meta charset=utf-8><style>p > a { }"
         L"</style><script>if (a<b) document.write('<p>');</script></head>\n  <p>Text</p>",
         L"<P>Text</P>"},
        {L"<!-- c --></p></head></html><div>d</div>", L"<DIV>d</DIV>"},
        {L"<head></head><textarea>a<b</textarea>", L"<TEXTAREA>a&lt;b</TEXTAREA>"},
        // It ends at the body or html end tag, outside raw text.
        {L"<body>a</html>b", L"a"}, {L"<body>\n <p>x</p>\n</body>", L"\n <P>x</P>\n"},
        {L"<p>a<body class=x>b<html lang=y>c</p>", L"<P>abc</P>"},
        {L"<body><script>w('</body>')</script><textarea></body></textarea>z</body>",
         L"<SCRIPT>w('</body>')</SCRIPT><TEXTAREA>&lt;/body&gt;</TEXTAREA>z"},
        // Tags upper case, attribute names lower case, values quoted with & and " escaped.
        {L"<body><DiV ClAsS=a ID='b' hidden>x</dIv>", L"<DIV class=\"a\" id=\"b\" hidden=\"\">x</DIV>"},
        {L"<body><a title='say \"hi\" & bye' x=1 X=2 t='<a>&nbsp;'>", L"<A title=\"say &quot;hi&quot; &amp; bye\" x=\"1\" t=\"<a>\u00A0\">"},
        {L"<body><img src=a><br/><hr></img></hr></input><wbr></wbr>a</br>b", L"<IMG src=\"a\"><BR><HR><WBR>a<BR>b"},
        // Text escaped once: each reference decoded once, then &, <, > and no-break spaces written as references.
        {L"<body>a < b && c > d\u00A0e &copy; &lt;p&gt; &amp;lt; &nbsp;", L"a &lt; b &amp;&amp; c &gt; d&nbsp;e \u00A9 &lt;p&gt; &amp;lt; &nbsp;"},
        {L"<body>a\0b<p>\0</p>\r\nc\rd"s, L"ab<P></P>\nc\nd"},
        {L"<body>\U0001F600&#x1F600;" + lone, L"\U0001F600\U0001F600" + lone},
        {L"<body><script>if (a < b && c) x = '<b>&amp;';</script><xmp><b>&amp;</b></xmp>",
         L"<SCRIPT>if (a < b && c) x = '<b>&amp;';</SCRIPT><XMP><b>&amp;</b></XMP>"},
        {L"<body><textarea><b>&amp;\u00A0</textarea><plaintext><b>&amp;</plaintext>",
         L"<TEXTAREA>&lt;b&gt;&amp;&nbsp;</TEXTAREA><PLAINTEXT><b>&amp;</plaintext>"},
        {L"<body><!-- a -- b --><?php x ?><![CDATA[c]]><!DOCTYPE html></x y>a<!--unclosed",
         L"<!-- a -- b --><!--?php x ?--><!--[CDATA[c]]--></X>a<!--unclosed-->"},
    };
    for (const auto& [page, body] : pages) EXPECT_EQ(BodyInnerHtml(page), body) << std::string(page.begin(), page.end());
}

TEST(FirstFormControlValue, TakesTheNamedControlOfTheFirstFormOnly) {
    const std::wstring page =
        L"<!-- <form><input name=a value=c> --><script>s='<form><input name=a value=s>'</script>"
        L"<input name=a value=before><form action=x><form></p><input type=hidden name=a value=\"x1\">"
        L"<input name=a value=2><input name=empty value=''><input name=novalue>"
        L"<input name=amp value='a&amp;b&quot;'><button name=go value=now>Go</button>"
        L"<textarea name=t>\r\nline 1\r\nA &amp; <b><input name=inside value=1></textarea></form>"
        L"<form><input name=b value=second></form>";
    const std::pair<const wchar_t*, std::optional<std::wstring>> controls[] = {
        {L"a", L"x1"}, {L"empty", L""}, {L"novalue", L""}, {L"amp", L"a&b\""}, {L"go", L"now"},
        {L"t", L"line 1\nA & <b><input name=inside value=1>"}, {L"inside", std::nullopt},
        {L"A", std::nullopt}, {L"b", std::nullopt}, {L"", std::nullopt},
    };
    for (const auto& [name, value] : controls) EXPECT_EQ(FirstFormControlValue(page, name), value) << name;
    EXPECT_EQ(FirstFormControlValue(L"<p><input name=a value=1>", L"a"), std::nullopt);
}

}  // namespace
}  // namespace quorvanel::html
