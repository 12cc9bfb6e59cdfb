#include "app/news_page.h"

#include <gtest/gtest.h>

#include "bot/html_reader.h"

namespace quorvanel {
namespace {

TEST(NewsMarker, CountsOnlyInTheBodyExactlyWithCase) {
    auto carries = [](std::wstring_view page) { return CarriesNewsMarker(html::BodyInnerHtml(page)); };
    EXPECT_TRUE(carries(L"<html><body><!-- Quorvanel_Data --><p>News</p></body></html>"));
    EXPECT_FALSE(carries(L"<html><head><!-- Quorvanel_Data --></head><body>x</body></html>"));
    EXPECT_FALSE(carries(L"<body><!-- quorvanel_data --></body>"));
    EXPECT_FALSE(carries(L"<body>&lt;!-- Quorvanel_Data --&gt;</body>"));  // text, not a comment
}

TEST(NewsText, GivesReadableTextAndItsLinks) {
    const NewsText news = ReadNewsText(
        L"<html><head><title>T</title><style>p{color:red}</style></head><body>"
        L"<!-- Quorvanel_Data --><h3>Quorvanel   1.12</h3><p>Now with\n<b>more</b> chat.<br>"
        L"Get it <a href=\"https://www.example.com/q/\">here</a>!</p><script>var a='<p>';</script>"
        L"<p>Ask &amp; tell</p></body></html>");
    EXPECT_EQ(news.text, L"Quorvanel 1.12\nNow with more chat.\nGet it here!\nAsk & tell");
    ASSERT_EQ(news.links.size(), 1u);
    EXPECT_EQ(news.text.substr(news.links[0].start, news.links[0].length), L"here");
    EXPECT_EQ(news.links[0].href, L"https://www.example.com/q/");
    EXPECT_EQ(ReadNewsText(L"<a href=x>unclosed").links.size(), 1u);
    EXPECT_TRUE(ReadNewsText(L"<a>no address</a>").links.empty());
}

}  // namespace
}  // namespace quorvanel
