#include <gtest/gtest.h>

#include <algorithm>

#include "Halcyra/pagehost/PageSource.h"

namespace {

const std::string kTag = "<script src=\"/.host/external.js\"></script>";

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(PageTag, GoesRightAfterTheHeadTagWithoutMovingALine) {
    std::string page = "<!DOCTYPE html>\n<html>\n<HEAD lang=\"x\">\n<script src=\"a.js\"></script>\n</head>\n";
    std::string served = withTag(page, kTag);
    EXPECT_EQ("<!DOCTYPE html>\n<html>\n<HEAD lang=\"x\">" + kTag + "\n<script src=\"a.js\"></script>\n</head>\n",
              served);
    EXPECT_EQ(lines(page), lines(served));
}

TEST(PageTag, WithoutAHeadGoesBeforeTheFirstScriptNotIntoAHeader) {
    std::string page = "<header>x</header>\n<p>y</p><script>go()</script><script>more()</script>";
    EXPECT_EQ("<header>x</header>\n<p>y</p>" + kTag + "<script>go()</script><script>more()</script>",
              withTag(page, kTag));
    EXPECT_EQ("<p>plain</p>" + kTag, withTag("<p>plain</p>", kTag));
}

TEST(PagePath, DecodesEscapesAndRefusesWaysOut) {
    std::string path;
    ASSERT_TRUE(decodePagePath("/", path));
    EXPECT_EQ("/", path);
    ASSERT_TRUE(decodePagePath("/img/a%20b.png?v=2", path));
    EXPECT_EQ("/img/a b.png", path);
    ASSERT_TRUE(decodePagePath("/%E5%90%AF.html", path));
    EXPECT_EQ("/\xE5\x90\xAF.html", path);
    const char* refused[] = {"/../secret", "/a/%2e%2e/b", "/a/./b", "/a//b", "/..%5cwin.ini", "/c:/x",
                             "/a%00.html", "/a%2", "/a%zz", "relative", "/a/",
                             // Devices, and names Windows reads as the parent or as another file.
                             "/CON", "/nul.txt", "/img/COM1", "/Aux%20.html", "/lpt9.png", "/...", "/..%20/x",
                             "/start.html.", "/start.html%20"};
    for (const char* target : refused) EXPECT_FALSE(decodePagePath(target, path)) << target;
}

TEST(PagePath, ContentTypeFollowsTheExtension) {
    EXPECT_EQ("text/html", contentTypeOf("/start.HTML"));
    EXPECT_EQ("text/javascript", contentTypeOf("/launcher-flow.js"));
    EXPECT_EQ("text/css", contentTypeOf("/start.css"));
    EXPECT_EQ("image/png", contentTypeOf("/a.png"));
    EXPECT_EQ("application/octet-stream", contentTypeOf("/scene.7z"));
}

}  // namespace
