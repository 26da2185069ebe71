// The page of --html as text: values in their places, escaped for where they go.

#include <gtest/gtest.h>

#include <string>

#include "driver/output/htmlpage.h"

namespace {

TEST(ShowPage, ValuesThatLookLikeKeysStayAsTheyAre)
{
    ShowPage page;
    page.title = "@MOVIE@ & <b>";
    page.movieUrl = "talk.swf";
    page.playerScript = "@TITLE@.js";
    page.width = 640;
    page.height = 520;
    const std::string html = ShowPageHtml(page);
    EXPECT_NE(html.find("<title>@MOVIE@ &amp; &lt;b&gt;</title>"), std::string::npos) << html;
    EXPECT_NE(html.find("<script src=\"@TITLE@.js\"></script>"), std::string::npos);
    EXPECT_NE(html.find("var movie = \"talk.swf\";"), std::string::npos);
    EXPECT_NE(html.find("calc(100vh * 640 / 520)"), std::string::npos);
    EXPECT_NE(html.find("calc(100vw * 520 / 640)"), std::string::npos);
}

TEST(ShowPage, MovieUrlIsRelativeToThePageAndPercentEncoded)
{
    EXPECT_EQ(MovieUrlFromPage("show.html", "talk.swf"), "talk.swf");
    EXPECT_EQ(MovieUrlFromPage("site/show.html", "talk.swf"), "../talk.swf");
    EXPECT_EQ(MovieUrlFromPage("show.html", "out/./talk.swf"), "out/talk.swf");
    EXPECT_EQ(MovieUrlFromPage("/a/b/show.html", "/a/c/d.swf"), "../c/d.swf");
    EXPECT_EQ(MovieUrlFromPage("show.html", "caf\xC3\xA9 #1?.swf"), "caf%C3%A9%20%231%3F.swf");
#ifdef _WIN32
    // There a backslash separates folders.
    EXPECT_EQ(MovieUrlFromPage("show.html", "quote\"back\\slash'.swf"), "quote%22back/slash%27.swf");
#else
    EXPECT_EQ(MovieUrlFromPage("show.html", "quote\"back\\slash'.swf"), "quote%22back%5Cslash%27.swf");
#endif
}

TEST(ShowPage, HtmlEscapedCoversTheFiveCharacters)
{
    EXPECT_EQ(HtmlEscaped("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d&quot;e&#39;f");
    EXPECT_EQ(HtmlEscaped("plain"), "plain");
}

}  // namespace
