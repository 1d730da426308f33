#include <gtest/gtest.h>

#include "Text.hpp"
#include "Url.hpp"

using namespace corvane::core;

TEST(Url, ParseFailsOnNonReferences) {
    for (const char* text :
         {"not a url", "https://host:65536/", "https://[::1/", "http://a b/", "https://a/b c", "https://a/\"x\"",
          "https://a/<b>", "https://a\\b/", "/a\\b", "https://a/b\\c", "https://a[b]/", "https://a|b/",
          "https://[v1.x]/", "https://a/\xff", "https://\xc3\x28.example/"})
        EXPECT_FALSE(Url::parse(text)) << text;
    for (const char* text : {"", "/farm", "farm/animals", "https://host:65535/", "mailto:", "about:blank", "%zz"})
        EXPECT_TRUE(Url::parse(text)) << text;
}

// Links as the web engine writes them (location.href): WHATWG keeps these characters raw.
TEST(Url, EngineURLsReadAsTheirEscapes) {
    struct {
        const char* href;
        const char* text;
        const char* path;
        const char* query;
        const char* fragment;
    } cases[] = {
        {"https://app.example/animals?filter[species]=cow", "https://app.example/animals?filter%5Bspecies%5D=cow",
         "/animals", "filter%5Bspecies%5D=cow", ""},
        {"https://app.example/x?ids=1|2&q=^{a}`\\", "https://app.example/x?ids=1%7C2&q=%5E%7Ba%7D%60%5C", "/x",
         "ids=1%7C2&q=%5E%7Ba%7D%60%5C", ""},
        {"https://app.example/x?q=100%", "https://app.example/x?q=100%25", "/x", "q=100%25", ""},
        {"https://app.example/a[1]|b^/%zz%2", "https://app.example/a%5B1%5D%7Cb%5E/%25zz%252", "/a[1]|b^/%zz%2", "",
         ""},
        {"https://app.example/a%20b%2F?x=%41", "https://app.example/a%20b%2F?x=%41", "/a b", "x=%41", ""},
        {"https://app.example/#a#b[c]", "https://app.example/#a%23b%5Bc%5D", "/", "", "a#b[c]"},
        {"/animals?filter[species]=cow#t", "/animals?filter%5Bspecies%5D=cow#t", "/animals", "filter%5Bspecies%5D=cow",
         "t"},
        {"x-app:a\\b?c\\d", "x-app:a%5Cb?c%5Cd", "a\\b", "c%5Cd", ""},
        {"https://[::1]:8/[x]", "https://[::1]:8/%5Bx%5D", "/[x]", "", ""},
        // Raw non-ASCII, as a page writes it: UTF-8 percent-encoded, as the engine sends it.
        {"https://app.example/k\u00e4se?q=caf\u00e9#\u00fcber", "https://app.example/k%C3%A4se?q=caf%C3%A9#%C3%BCber",
         "/k\u00e4se", "q=caf%C3%A9", "\u00fcber"},
        {"/k\u00e4se/\U0001F404?q=\u00e9[1]", "/k%C3%A4se/%F0%9F%90%84?q=%C3%A9%5B1%5D", "/k\u00e4se/\U0001F404",
         "q=%C3%A9%5B1%5D", ""},
    };
    for (auto c : cases) {
        auto url = Url::parse(c.href);
        ASSERT_TRUE(url) << c.href;
        EXPECT_EQ(url->text(), c.text);
        EXPECT_EQ(url->path(), c.path) << c.href;
        EXPECT_EQ(url->query(), c.query) << c.href;
        EXPECT_EQ(url->fragment(), c.fragment) << c.href;
        EXPECT_EQ(Url::parse(url->text())->text(), url->text()) << c.href; // reads back as itself
    }
    EXPECT_EQ(Url::parse("/a?filter[x]=1#f=2")->queryItem("filter[x]"),
              std::optional<std::optional<std::string>>(std::optional<std::string>("1")));
    EXPECT_EQ(Url::parse("/a?x=%41%2B+=&y#z")->queryItem("x"),
              std::optional<std::optional<std::string>>(std::optional<std::string>("A++=")));
}

// Hosts as the engine reads them; a host it refuses makes no URL.
TEST(Url, HostsReadAsTheEngineReadsThem) {
    struct {
        const char* text;
        const char* host;
    } read[] = {
        {"https://App.Example/", "app.example"},
        {"https://%41pp.example/", "app.example"},
        {"https://%C3%89cole.example/", "xn--cole-9oa.example"},
        {"https://xn--cole-9oa.example/", "xn--cole-9oa.example"},
        {"https://EXAMPLE.com./", "example.com."},
        {"http://127.1/", "127.0.0.1"},
        {"http://0x7f.0.0.1/", "127.0.0.1"},
        {"http://2130706433/", "127.0.0.1"},
        {"https://[0:0::1]/", "[::1]"},
        {"https:///x", ""},
        {"file://localhost/etc", ""},
        {"corvane-desktop://AUTH", "AUTH"},
        {"corvane-desktop://a%75th", "a%75th"},
        {"https://%60a{b}.example/", "`a{b}.example"}, // the engine allows these in a host
        {"https://`a{b}.example/", "`a{b}.example"},
        {"https://b\u00fccher.example/", "xn--bcher-kva.example"},
        {"https://B\u00dcCHER.example:8443/k\u00e4se", "xn--bcher-kva.example"},
        {"x-app://caf\u00e9/", "caf%C3%A9"},
        // A name that only begins like an IPv4 address is a name, whatever the Boost.URL release.
        {"https://127.0.0.1.evil.example/", "127.0.0.1.evil.example"},
        {"http://1.2.3.4x/", "1.2.3.4x"},
    };
    for (auto c : read) {
        auto url = Url::parse(c.text);
        ASSERT_TRUE(url) << c.text;
        EXPECT_EQ(url->host(), c.host) << c.text;
    }
    for (const char* text : {"https://localhost%3A47443/x",
                             "https://evil.example%2F.signin-provider.example/",
                             "https://a%40b/",
                             "https://a%25b/",
                             "https://a%00b/",
                             "https://a%20b/",
                             "https://%FF/",
                             "https://xn--a.example/",
                             "https://a%E2%80%8Db/",
                             "http://1.2.3.4.5/",
                             "http://256.1.1.1/",
                             "http://1.0x100000000/",
                             "http://09/",
                             "https://%2F/",
                             "https://a\u200Db/",
                             "https://a.b:80x/",
                             "http://1.2.3.4:80x/",
                             "http://h:80x/",
                             "http://[::1]x/",
                             "//1.2.3.4.5/"})
        EXPECT_FALSE(Url::parse(text)) << text;
    auto base = *Url::parse("https://app.example/farm");
    EXPECT_FALSE(base.resolve("//localhost%3A47443/x"));
    EXPECT_EQ(base.resolve("//B%C3%BCcher.example/x")->host(), "xn--bcher-kva.example");
    EXPECT_EQ(base.resolve("//B\u00fccher.example/x")->host(), "xn--bcher-kva.example");
    EXPECT_EQ(base.resolve("/k\u00e4se?q=caf\u00e9")->text(), "https://app.example/k%C3%A4se?q=caf%C3%A9");
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

    struct {
        const char* text;
        const char* path;
        bool host;
    } cases[] = {
        {"https://host", "", true},      {"https://host/", "/", true}, {"/farm/", "/farm", false},
        {"https://@host/x", "/x", true}, {"https:///x", "/x", true},   {"mailto:a", "a", false},
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
    // An empty query before "#": one empty item, read within the text.
    for (const char* text : {"/care?#x", "/care?#", "?#", "/care?&#x", "https://a/?#"}) {
        auto empty = Url::parse(text);
        ASSERT_TRUE(empty) << text;
        EXPECT_FALSE(empty->queryItem("follow_up")) << text;
        EXPECT_EQ(empty->queryItem(""), std::optional<std::optional<std::string>>(std::optional<std::string>()))
            << text;
    }

    auto base = *Url::parse("https://app.example/farm");
    EXPECT_EQ(base.resolve("/x/../y?z#f")->text(), "https://app.example/y?z#f");
    EXPECT_EQ(base.resolve("//other.example/x")->text(), "https://other.example/x");
    EXPECT_EQ(base.resolve("/a?b[]=1|2")->text(), "https://app.example/a?b%5B%5D=1%7C2");
    EXPECT_FALSE(base.resolve("\\\\other.example/x"));    // "//" to the engine: refused, not read as a path
    EXPECT_FALSE(Url::parse("/relative")->resolve("/x")); // no base scheme

    // Odd bases and references: never an exception, and every result reads back as itself.
    const char* bases[] = {"https:x", "https:", "a:b", "a:/b", "https://h", "https://h/a/b?q#f", "x:%41/../b"};
    const char* refs[] = {"//h",         "//h/p", "//", "..//x", ".//x",   "./a:b",
                          "../../..//x", "?#",    "#",  "",      "/./../", "//@h:"};
    for (const char* b : bases)
        for (const char* r : refs) {
            auto resolved = Url::parse(b)->resolve(r);
            if (!resolved) continue;
            auto again = Url::parse(resolved->text());
            ASSERT_TRUE(again) << b << " + " << r << " = " << resolved->text();
            EXPECT_EQ(again->hasHost(), resolved->hasHost()) << b << " + " << r;
            EXPECT_EQ(again->encodedPath(), resolved->encodedPath()) << b << " + " << r;
        }
    EXPECT_EQ(Url::parse("https:x")->resolve("//h")->text(), "https://h");
}

TEST(Text, GraphemesCountUserPerceivedCharacters) {
    struct {
        std::string text;
        std::size_t count;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"a\r\nb", 3},
        {"\r\r\n", 2},
        {"e\u0301", 1},                                    // e + combining acute
        {"\u00e9\u00e9", 2},                               // precomposed, two bytes each
        {"\U0001F468\u200D\U0001F469\u200D\U0001F467", 1}, // family emoji, one cluster
        {"\U0001F1F3\U0001F1FF", 1},                       // flag
        {"\xff\xfe", 2},                                   // invalid bytes still count
    };
    for (const auto& c : cases) EXPECT_EQ(text::graphemeCount(c.text), c.count) << c.text;
    EXPECT_TRUE(text::graphemesAtMost(std::string(200, 'x'), 200));
    EXPECT_FALSE(text::graphemesAtMost(std::string(201, 'x'), 200));
}

TEST(Text, WhiteSpaceAndCase) {
    for (const char* s : {" ", "\t", "\n", "\v", "\f", "\r", "\u0085", "\u00a0", "\u1680", "\u2003", "\u2028", "\u2029",
                          "\u3000", "\xc3"})
        EXPECT_TRUE(text::hasWhiteSpaceOrBreak(std::string("/a") + s + "b")) << s;
    for (const char* s : {"/farm", "/\u200b", "/\u00e9"}) EXPECT_FALSE(text::hasWhiteSpaceOrBreak(s)) << s;
    EXPECT_EQ(text::upper("stra\u00dfe"), "STRASSE"); // full mapping, not one-to-one
    EXPECT_EQ(text::lower("\u00c9COLE.Example"), "\u00e9cole.example");
    EXPECT_EQ(text::upper(","), ",");
}
