#include <gtest/gtest.h>

#include "Text.hpp"
#include "Url.hpp"

using namespace corvane::core;

TEST(Url, ParseFailsOnNonReferences) {
    for (const char* text : {"not a url", "https://host:65536/", "https://[::1/", "http://a b/", "%zz"})
        EXPECT_FALSE(Url::parse(text)) << text;
    for (const char* text : {"", "/farm", "farm/animals", "https://host:65535/", "mailto:", "about:blank"})
        EXPECT_TRUE(Url::parse(text)) << text;
}

TEST(Url, ComponentsAsRulesSeeThem) {
    auto url = *Url::parse("HTTPS://Ann:pw@Host.Example:0443/a%20b/?q=1+2&q=3#Frag");
    EXPECT_EQ(url.scheme(), "HTTPS");
    EXPECT_EQ(url.schemeLower(), "https");
    EXPECT_EQ(url.hostLower(), "host.example");
    EXPECT_TRUE(url.hasUserInfo());
    EXPECT_EQ(url.port(), 443); // leading zeros are the same port
    EXPECT_EQ(url.path(), "/a b");
    EXPECT_EQ(url.decodedPath(), "/a b/");
    EXPECT_EQ(url.queryItem("q"), std::optional<std::optional<std::string>>(std::optional<std::string>("1+2")));
    EXPECT_EQ(url.fragment(), "Frag");

    struct { const char* text; const char* path; bool host; } cases[] = {
        {"https://host", "", true}, {"https://host/", "/", true}, {"/farm/", "/farm", false},
        {"https://@host/x", "/x", true}, {"https:///x", "/x", true}, {"mailto:a", "a", false},
    };
    for (auto c : cases) {
        auto u = *Url::parse(c.text);
        EXPECT_EQ(u.path(), c.path) << c.text;
        EXPECT_EQ(u.hasHost(), c.host) << c.text;
    }
    EXPECT_FALSE(Url::parse("https://host:/x")->port());
    EXPECT_TRUE(Url::parse("https://@host/x")->hasUserInfo());
}

TEST(Url, QueryItemsAndResolution) {
    auto url = *Url::parse("/care?a&follow_up&follow_up=2");
    EXPECT_EQ(url.queryItem("a"), std::optional<std::optional<std::string>>(std::optional<std::string>()));
    EXPECT_FALSE(url.queryItem("missing"));
    EXPECT_EQ(url.queryItem("follow_up"), std::optional<std::optional<std::string>>(std::optional<std::string>()));

    auto base = *Url::parse("https://app.example/farm");
    EXPECT_EQ(base.resolve("/x/../y?z#f")->text(), "https://app.example/y?z#f");
    EXPECT_EQ(base.resolve("//other.example/x")->text(), "https://other.example/x");
    EXPECT_FALSE(Url::parse("/relative")->resolve("/x")); // no base scheme
}

TEST(Text, GraphemesCountUserPerceivedCharacters) {
    struct { std::string text; std::size_t count; } cases[] = {
        {"", 0}, {"abc", 3}, {"a\r\nb", 3}, {"\r\r\n", 2},
        {"e\u0301", 1},                                  // e + combining acute
        {"\u00e9\u00e9", 2},                             // precomposed, two bytes each
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1}, // family emoji, one cluster
        {"\U0001F1F3\U0001F1FF", 1},                     // flag
        {"\xff\xfe", 2},                                 // invalid bytes still count
    };
    for (const auto& c : cases) EXPECT_EQ(text::graphemeCount(c.text), c.count) << c.text;
    EXPECT_TRUE(text::graphemesAtMost(std::string(200, 'x'), 200));
    EXPECT_FALSE(text::graphemesAtMost(std::string(201, 'x'), 200));
}

TEST(Text, WhiteSpaceAndCase) {
    for (const char* s : {" ", "\t", "\n", "\v", "\f", "\r", "\u0085", "\u00a0", "\u1680", "\u2003", "\u2028",
                          "\u2029", "\u3000", "\xc3"})
        EXPECT_TRUE(text::hasWhiteSpaceOrBreak(std::string("/a") + s + "b")) << s;
    for (const char* s : {"/farm", "/\u200b", "/\u00e9"}) EXPECT_FALSE(text::hasWhiteSpaceOrBreak(s)) << s;
    EXPECT_EQ(text::upper("stra\u00dfe"), "STRASSE"); // full mapping, not one-to-one
    EXPECT_EQ(text::lower("\u00c9COLE.Example"), "\u00e9cole.example");
    EXPECT_EQ(text::upper(","), ",");
}
