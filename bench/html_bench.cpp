// HTML reader costs on pages shaped like real ones: a head with styles and scripts, then a body
// of navigation, articles with inline markup and references, tables, comments and a form.
// Items are the page's characters.
#include <benchmark/benchmark.h>

#include <string>

#include "bot/html_reader.h"
#include "bot/html_tokenizer.h"
#include "bot/reply_text.h"

namespace quorvanel::html {
namespace {

// A page of about `chars` characters.
std::wstring MakePage(std::size_t chars) {
    std::wstring page =
        L"<!DOCTYPE html>\r\n<html lang=\"en\">\r\n<head>\r\n<meta charset=\"utf-8\">\r\n"
        L"<title>Conversation &mdash; Kestro</title>\r\n"
        L"<link rel=\"stylesheet\" href=\"/static/site.css?v=3\">\r\n"
        L"<style>body { font: 13px Verdana } .reply > b { color: #336 } a:hover { color: red }"
        L"</style>\r\n<script type=\"text/javascript\">\r\nvar counter = 0;\r\n"
        L"function tick(a, b) { if (a < b && b > 0) { counter++; } return '<b>' + a + '</b>'; }"
        L"\r\n</script>\r\n</head>\r\n<body bgcolor=\"#FFFFFF\" onload=\"tick(1, 2)\">\r\n"
        L"<div id=\"nav\"><a href=\"/\">Home</a> | <a href=\"/about?x=1&amp;y=2\">About</a> | "
        L"<a href='/help'>Help</a></div>\r\n";
    const std::wstring article =
        L"<div class=\"reply\"><p><b>Kestro:</b> Hello there. It&#39;s a fine day &ndash; isn't "
        L"it? I said &quot;yes&quot; &amp; moved on.&nbsp;See <a href=\"/page?id=42&amp;s=1\" "
        L"target=_blank>this page</a> or <i>that one</i>.<br/>\r\nNumbers: 1 &lt; 2 &gt; 0, "
        L"caf\u00E9, \u00BFqu\u00E9?, \u4F60\u597D.</p>\r\n<!-- reply block -->\r\n"
        L"<table border=0 cellpadding=2><tr><td class=l>Name</td><td>Value &copy; 2009</td></tr>"
        L"<tr><td class=l>Mood</td><td><img src=\"/img/smile.gif\" alt=\":-)\" width=15 "
        L"height=15></td></tr></table>\r\n<script>tick(3, 4);</script></div>\r\n";
    while (page.size() + article.size() < chars) page += article;
    page +=
        L"<form method=\"post\" action=\"/talk\"><input type=\"hidden\" name=\"botcust2\" "
        L"value=\"e3a1c2f4b5d6\"><input type=text name=input size=50 value=\"\">"
        L"<textarea name=notes>\r\nfirst line</textarea><input type=submit value=\"Say\">"
        L"</form>\r\n</body>\r\n</html>\r\n";
    return page;
}

void BM_BodyInnerHtml(benchmark::State& state) {
    const std::wstring page = MakePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BodyInnerHtml(page));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// The tokenizer alone, with no state switches: the floor under both reader calls.
void BM_TokenizeOnly(benchmark::State& state) {
    const std::wstring page = MakePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        Tokenizer tokenizer(page);
        std::size_t tokens = 0;
        while (tokenizer.Next().type != TokenType::EndOfFile) ++tokens;
        benchmark::DoNotOptimize(tokens);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

// The form is at the very end, so the whole page is read.
void BM_FirstFormControlValue(benchmark::State& state) {
    const std::wstring page = MakePage(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(FirstFormControlValue(page, L"botcust2"));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}

constexpr int64_t k100K = 100 * 1000;
constexpr int64_t k10K = 10 * 1000;
constexpr int64_t k1M = 1000 * 1000;
constexpr int64_t k4Mi = 4 * 1024 * 1024;

// Long runs of half-finished constructs: each must cost about what a plain page of the same
// size costs (nothing quadratic). The argument picks the construct.
const wchar_t* const kPathological[] = {L"&",      L"&am",  L"&#x",       L"<",
                                         L"</",     L"<a ",  L"a=",        L"<!--<!--x",
                                         L"--!",    L"<?",   L"<![CDATA[", L"<!DOCTYPE a PUBLIC '",
                                         L"<textarea></textarea ",       L"<script><!--<script>",
                                         L"</br>",  L"<x y"};
void BM_Pathological(benchmark::State& state) {
    const std::wstring unit = kPathological[state.range(0)];
    std::wstring input = L"<body>";
    while (input.size() < 1'000'000) input += unit;
    for (auto _ : state) benchmark::DoNotOptimize(BodyInnerHtml(input));
    state.SetLabel(std::string(unit.begin(), unit.end()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}
BENCHMARK(BM_Pathological)->DenseRange(0, 15)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_BodyInnerHtml)->Arg(k100K)->Arg(k10K)->Arg(k1M)->Arg(k4Mi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TokenizeOnly)->Arg(k10K)->Arg(k1M)->Arg(k4Mi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstFormControlValue)->Arg(k4Mi)->Unit(benchmark::kMillisecond);

// An answer fragment as the body markup gives it (mostly text with a few tags and references),
// grown to the size of the largest page read: must convert in under 10 ms.
void BM_ReplyFragmentToText(benchmark::State& state) {
    const std::wstring unit =
        L"Tom &amp; Jerry <I>are</I> friends.<BR>See <A href=\"/x?a=1&amp;b=2\">this</A>,&nbsp;"
        L"caf\u00E9 &lt;3 &#233;\r\n   <P>Another paragraph of plain words to read.</P> ";
    std::wstring fragment;
    while (fragment.size() + unit.size() < static_cast<std::size_t>(state.range(0))) fragment += unit;
    for (auto _ : state) benchmark::DoNotOptimize(quorvanel::ReplyFragmentToText(fragment));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * fragment.size()));
}
BENCHMARK(BM_ReplyFragmentToText)->Arg(k1M)->Arg(k4Mi)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvanel::html

BENCHMARK_MAIN();
