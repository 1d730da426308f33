#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "AppOrigins.hpp"
#include "Bridge.hpp"
#include "BuildConfig.hpp"
#include "Notice.hpp"

using namespace corvane::core;
using json = nlohmann::json;

namespace {
std::string repeat(const std::string& unit, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += unit;
    return s;
}
} // namespace

TEST(AppOrigins, ListKeepsOrderAndDuplicatesAndDropsUnusable) {
    AppOrigins set({"https://example.com/farm", "not a url", "mailto:x", "https://EXAMPLE.com:443"});
    EXPECT_EQ(set.origins(), (std::vector<std::string>{"https://example.com", "https://example.com"}));
    EXPECT_TRUE(set.containsOrigin("HTTPS://Example.com:443"));
    EXPECT_TRUE(set.containsOrigin("https://example.com/anything"));
    EXPECT_FALSE(set.containsOrigin("example.com"));
    EXPECT_FALSE(set.contains(*Url::parse("https://example.com:8443")));

    AppOrigins none({});
    EXPECT_FALSE(none.containsOrigin("https://example.com"));
}

TEST(AppOrigins, ProductionIsTheBaseURLAndStartIsFarm) {
    ASSERT_EQ(AppOrigins::production().origins().size(), 1u);
    EXPECT_EQ(AppOrigins::production().origins()[0], build::baseURL);
    EXPECT_EQ(defaultStartURL().text(), std::string(build::baseURL) + "/farm");
    EXPECT_TRUE(AppOrigins::production().contains(defaultStartURL()));
}

TEST(AppOrigins, StoredPathLimits) {
    AppOrigins set({"https://app.example"});
    auto base = *Url::parse("https://app.example/farm");
    EXPECT_TRUE(set.appURL(std::string("/").append(511, 'a'), base));
    EXPECT_FALSE(set.appURL(std::string("/").append(512, 'a'), base));
    EXPECT_EQ(set.appURL("/%C3%A9?q=%20", base)->text(), "https://app.example/%C3%A9?q=%20");
    // Raw non-ASCII reads as the engine sends it; bytes that are not UTF-8 are no path at all.
    EXPECT_EQ(set.appURL("/k\u00e4se", base)->text(), "https://app.example/k%C3%A4se");
    EXPECT_FALSE(set.appURL("/\xff", base));
}

TEST(Notice, AppPathLengthCountsCharacters) {
    EXPECT_TRUE(Notice::isAppPath(std::string("/").append(repeat("e\u0301", 511))));
    EXPECT_FALSE(Notice::isAppPath(std::string("/").append(512, 'a')));
    EXPECT_FALSE(Notice::isAppPath("/\xff"));
    EXPECT_EQ(Notice::followUpId("/care?follow_up=" + std::string(64, 'a')), std::string(64, 'a'));
    EXPECT_FALSE(Notice::followUpId("/care?follow_up=" + std::string(65, 'a')));
}

TEST(BridgeParse, NumbersBooleansAndNaNStayApart) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct {
        json n;
        std::optional<int> badge;
    } cases[] = {
        {json(7), 7},         {json(7u), 7},       {json(3.0), 3},      {json(-0.0), 0},  {json(1e300), 9999},
        {json(9999.0), 9999}, {json(nan), {}},     {json(inf), {}},     {json(-inf), {}}, {json(true), {}},
        {json(false), {}},    {json(nullptr), {}}, {json(-1e-300), {}}, {json(0.1), {}},  {json::array({1}), {}},
    };
    for (const auto& c : cases) {
        auto message = Bridge::parse(json{{"type", "setBadge"}, {"n", c.n}});
        if (c.badge) EXPECT_EQ(message, BridgeMessage(message::SetBadge{*c.badge})) << c.n;
        else EXPECT_FALSE(message) << c.n;
    }
}

TEST(BridgeParse, TextLimitsCountCharactersNotBytes) {
    auto notify = [](json members) {
        members["type"] = "notify";
        if (!members.contains("title")) members["title"] = "t";
        return Bridge::parse(members);
    };
    EXPECT_TRUE(notify({{"title", repeat("\U0001F404", 200)}})); // 800 bytes
    EXPECT_FALSE(notify({{"title", repeat("\u00e9", 201)}}));
    EXPECT_TRUE(notify({{"body", std::string(1000, 'b')}}));
    EXPECT_FALSE(notify({{"body", std::string(1001, 'b')}}));
    EXPECT_TRUE(notify({{"tag", std::string(100, 'g')}}));
    EXPECT_FALSE(notify({{"tag", std::string(101, 'g')}}));
    EXPECT_TRUE(notify({{"url", std::string(512, 'u')}}));
    EXPECT_FALSE(notify({{"url", std::string(513, 'u')}}));
    EXPECT_FALSE(notify({{"body", json::object()}}));
    // Limits and checks apply to the members a type reads; a lone surrogate arrives as its UTF-8 form.
    const std::string loneSurrogate = "a\xed\xa0\x80";
    for (const char* read : {"title", "body", "tag", "url"}) EXPECT_FALSE(notify({{read, loneSurrogate}})) << read;
    EXPECT_TRUE(notify({{"extra", loneSurrogate}, {"n", std::string(100000, 'x')}, {"Title", std::string(300, 't')}}));
    EXPECT_TRUE(Bridge::parse(json{{"type", "print"}, {"url", loneSurrogate}}));
    EXPECT_TRUE(Bridge::parse(json{{"type", "setBadge"}, {"n", 2}, {"title", std::string(5000, 't')}}));
    EXPECT_TRUE(Bridge::parse(json{{"type", "openExternal"}, {"url", "https://x.example/"}, {"body", loneSurrogate}}));

    const std::string path = "https://x.example/";
    auto open = [](std::string url) { return Bridge::parse(json{{"type", "openExternal"}, {"url", url}}); };
    EXPECT_TRUE(open(path + std::string(4096 - path.size(), 'p')));
    EXPECT_FALSE(open(path + std::string(4097 - path.size(), 'p')));
    auto exact = open("HTTPS://X.example/p?q");
    ASSERT_TRUE(exact);
    EXPECT_EQ(std::get<message::OpenExternal>(*exact).url.text(), "HTTPS://X.example/p?q"); // not normalised
}

TEST(BridgeScripts, PreloadScriptMatchesTheReferenceListing) {
    std::ifstream file(CORVANE_TEST_DATA "/bridge-1.4.2.js", std::ios::binary);
    std::stringstream listing;
    listing << file.rdbuf();
    ASSERT_FALSE(listing.str().empty());
    EXPECT_EQ(Bridge::preloadScript("1.4.2", Platform::macOS), listing.str());

    // Only the version span varies with the version, and only the platform's name with the platform.
    std::string expected = listing.str();
    expected.replace(expected.find("\"1.4.2\""), 7, "\"0\"");
    EXPECT_EQ(Bridge::preloadScript("beta", Platform::macOS), expected);
    std::string onLinux = listing.str();
    onLinux.replace(onLinux.find("platform: \"darwin\""), 18, "platform: \"linux\"");
    EXPECT_EQ(Bridge::preloadScript("1.4.2", Platform::linuxDesktop), onLinux);
}

TEST(BridgeScripts, VersionIsReducedToDigitsAndDots) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"1.4.2", "1.4.2"},
        {"1.2.3.4.5", "1.2.3.4"},
        {"10.0.19045.2006.7", "10.0.19045.2006"},
        {"2.0-beta", "2.0"},
        {"1..2", "1"},
        {"3.", "3"},
        {"", "0"},
        {"beta", "0"},
        {" 1.0", "0"},
        {"1.0\";alert(1);\"", "1.0"},
    };
    for (auto c : cases)
        EXPECT_NE(
            Bridge::preloadScript(c.in, Platform::linuxDesktop).find(std::string("version: \"") + c.out + "\",\n"),
            std::string::npos)
            << c.in;
}

TEST(BridgeScripts, CallScriptArgumentsAreJsonLiterals) {
    EXPECT_EQ(
        Bridge::navigateScript("/a\u0001\u00e9</script>"),
        "typeof window.__cvDesktopNavigate === 'function' ? window.__cvDesktopNavigate(\"/a\\u0001\u00e9</script>\") : -1");
    auto auth = Bridge::authScript(*Url::parse("corvane-desktop://auth?c=%22x%22&u=/farm"));
    ASSERT_TRUE(auth);
    EXPECT_NE(auth->find("(\"corvane-desktop:\\/\\/auth?c=%22x%22&u=\\/farm\")"), std::string::npos);
    EXPECT_FALSE(Bridge::navigateScript("/farm\xff"));
    EXPECT_FALSE(Bridge::authScript(*Url::parse("corvane-desktop://auth:443")));
}

TEST(MenuCommand, RawValuesRoundTrip) {
    for (auto command : allMenuCommands) EXPECT_EQ(menuCommandFromRaw(rawValue(command)), command);
    for (const char* raw : {"", "New-Animal", "search ", "newAnimal"}) EXPECT_FALSE(menuCommandFromRaw(raw)) << raw;
}
