// Appcasts as they are found in the wild, and the configuration the bundle carries.
#include <chrono>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "Config.hpp"
#include "Feed.hpp"

namespace corvane::update {
namespace {

std::string feed(const std::string& items,
                 const std::string& ns = "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\"") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" " + ns +
           " xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>Corvane</title><link>https://corvane.example</link>" +
           items + "</channel></rss>";
}

const std::string kSig = "3Qtd1jhzFJn4Q6bq0ZMqyqg8l3zW8E9lK+J0uB6sX1r0Jf6z3lYwqVQ3r8l4nWqT7rS0E8dDUm5e0rQm9zK3Aw==";

TEST(Feed, ReadsTheShapesFeedsComeIn) {
    struct Case {
        const char* what;
        std::string xml;
        std::vector<std::string> versions; // version/display/notes link/description of each item read
    };
    const std::vector<Case> cases{
        {"versions as elements, notes link, several enclosures",
         feed(
             "<item><title>Version 1.2</title><pubDate>Sat, 05 Dec 2026 10:00:00 +0000</pubDate>"
             "<sparkle:version>120</sparkle:version><sparkle:shortVersionString>1.2</sparkle:shortVersionString>"
             "<sparkle:releaseNotesLink>https://corvane.example/notes/1.2.html</sparkle:releaseNotesLink>"
             "<sparkle:minimumSystemVersion>10.13</sparkle:minimumSystemVersion>"
             "<enclosure url=\"https://corvane.example/Corvane-1.2.dmg\" length=\"99\" type=\"application/octet-stream\" sparkle:edSignature=\"" +
             kSig +
             "\"/>"
             "<enclosure url=\"https://corvane.example/Corvane-1.2-linux-x86_64.tar.xz\" sparkle:os=\"linux\" length=\"123456\" type=\"application/x-xz\" sparkle:edSignature=\"" +
             kSig +
             "\"/>"
             "</item>"),
         {"120|1.2|https://corvane.example/notes/1.2.html||https://corvane.example/Corvane-1.2-linux-x86_64.tar.xz|123456"}},
        {"versions on the enclosure, notes inline in CDATA",
         feed(
             "<item><title>1.1</title><description><![CDATA[<h2>New</h2><ul><li>Faster sync</li></ul>]]></description>"
             "<enclosure sparkle:os=\"linux\" sparkle:version=\"1.1\" url=\"https://corvane.example/a.tar.xz\" length=\"7\" sparkle:edSignature=\"" +
             kSig + "\"/></item>"),
         {"1.1|1.1||<h2>New</h2><ul><li>Faster sync</li></ul>|https://corvane.example/a.tar.xz|7"}},
        {"another prefix for the namespace",
         feed(
             "<item><s:version> 2.0 </s:version><enclosure s:os=\"linux\" url=\"https://x.example/b\" length=\"1\" s:edSignature=\"" +
                 kSig + "\"/></item>",
             "xmlns:s=\"http://www.andymatuschak.org/xml-namespaces/sparkle\""),
         {"2.0|2.0|||https://x.example/b|1"}},
        {"the sparkle prefix bound elsewhere is not the sparkle namespace",
         feed(
             "<item><sparkle:version>2.0</sparkle:version><enclosure sparkle:os=\"linux\" url=\"https://x.example/b\" length=\"1\" sparkle:edSignature=\"" +
                 kSig + "\"/></item>",
             "xmlns:sparkle=\"https://elsewhere.example/ns\""),
         {}},
        {"items for other systems, or missing what an install needs, are left out",
         feed(
             "<item><sparkle:version>9</sparkle:version><enclosure url=\"https://x.example/mac.zip\" length=\"1\" sparkle:edSignature=\"" +
             kSig +
             "\"/></item>"
             "<item><sparkle:version>9</sparkle:version><enclosure sparkle:os=\"windows\" url=\"https://x.example/w.msi\" length=\"1\" sparkle:edSignature=\"" +
             kSig +
             "\"/></item>"
             "<item><sparkle:version>9</sparkle:version><enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"1\"/></item>"
             "<item><sparkle:version>9</sparkle:version><enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"0\" sparkle:edSignature=\"" +
             kSig +
             "\"/></item>"
             "<item><sparkle:version>9</sparkle:version><enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"-5\" sparkle:edSignature=\"" +
             kSig +
             "\"/></item>"
             "<item><enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"5\" sparkle:edSignature=\"" +
             kSig + "\"/></item>"),
         {}},
    };
    for (const auto& c : cases) {
        auto items = parseFeed(c.xml);
        ASSERT_TRUE(items) << c.what;
        std::vector<std::string> got;
        for (const auto& i : *items) {
            got.push_back(i.version + "|" + i.displayVersion + "|" + i.releaseNotesURL + "|" + i.description + "|" +
                          i.url + "|" + std::to_string(i.length));
            EXPECT_EQ(i.signature, kSig);
        }
        EXPECT_EQ(got, c.versions) << c.what;
    }
    for (const char* bad :
         {"", "<rss><channel><item>", "<feed xmlns=\"http://www.w3.org/2005/Atom\"/>", "{\"items\":[]}"})
        EXPECT_FALSE(parseFeed(bad)) << bad;
}

TEST(Feed, AFeedWithADocumentTypeIsRefusedBeforeItsEntitiesExpand) {
    const std::string item =
        "<item><title>&big;</title><description>&x;</description><sparkle:version>3</sparkle:version>"
        "<enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"5\" sparkle:edSignature=\"" +
        kSig + "\"/></item>";
    std::string uses;
    for (int i = 0; i < 10000; ++i) uses += "&big;";
    const std::string body = feed(item).substr(39);
    const std::vector<std::string> hostile{
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\"><!ENTITY big \"b\">]>" + body,
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x \"x\"><!ENTITY big \"" + std::string(100000, 'a') + "\">]>" +
            feed("<item><title>" + uses + "</title></item>").substr(39),
        "<?xml version=\"1.0\"?><!DOCTYPE rss SYSTEM \"https://corvane.example/rss.dtd\">" + feed("").substr(39),
    };
    for (const auto& xml : hostile) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(parseFeed(xml)) << xml.substr(0, 120);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
    // Without a DTD nothing expands, but a field longer than any real one still makes no item.
    auto item2 = [&](const std::string& notes) {
        return feed("<item><description>" + notes +
                    "</description><sparkle:version>3</sparkle:version>"
                    "<enclosure sparkle:os=\"linux\" url=\"https://x.example/l\" length=\"5\" sparkle:edSignature=\"" +
                    kSig + "\"/></item>");
    };
    EXPECT_EQ(parseFeed(item2(std::string(256 * 1024, 'n')))->size(), 1u);
    EXPECT_EQ(parseFeed(item2(std::string(256 * 1024 + 1, 'n')))->size(), 0u);
}

TEST(Feed, TheUpdateIsTheNewestItemAboveTheRunningVersion) {
    auto item = [](std::string v) {
        FeedItem i;
        i.version = std::move(v);
        return i;
    };
    const std::vector<FeedItem> items{item("1.2"), item("1.10b1"), item("1.9"), item("1.10"), item("1.0")};
    EXPECT_EQ(newestUpdate(items, "1.0")->version, "1.10");
    EXPECT_EQ(newestUpdate(items, "1.10b1")->version, "1.10");
    EXPECT_FALSE(newestUpdate(items, "1.10"));
    EXPECT_FALSE(newestUpdate(items, "2"));
    EXPECT_FALSE(newestUpdate({}, "0"));
}

TEST(Config, OnlyAnHttpsFeedWithAKeyMakesAnUpdater) {
    namespace fs = std::filesystem;
    const fs::path bundle = fs::path(testing::TempDir()) / "config-bundle";
    fs::create_directories(bundle / "share/corvane");
    const std::string key = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
    struct Case {
        std::string ini;
        std::optional<long> interval; // none: no updater
    };
    const std::vector<Case> cases{
        {"[Updates]\nFeedURL=https://corvane.example/appcast.xml\nPublicKey=" + key + "\nInterval=86400\n", 86400},
        {"[Updates]\nFeedURL=https://corvane.example/appcast.xml\nPublicKey=" + key + "\nInterval=60\n", 3600},
        {"[Updates]\nFeedURL=https://corvane.example/appcast.xml\nPublicKey=" + key + "\n", 86400},
        {"[Updates]\nFeedURL=\nPublicKey=" + key + "\n", std::nullopt},
        {"[Updates]\nFeedURL=http://corvane.example/appcast.xml\nPublicKey=" + key + "\n", std::nullopt},
        {"[Updates]\nFeedURL=https://corvane.example/appcast.xml\nPublicKey=\n", std::nullopt},
        {"[Updates]\nFeedURL=https://corvane.example/appcast.xml\nPublicKey=" + key.substr(4) + "\n", std::nullopt},
        {"\x01\x02 not a key file", std::nullopt},
    };
    for (const auto& c : cases) {
        std::ofstream(bundle / "share/corvane/updates.ini") << c.ini;
        auto config = readConfig(bundle.string());
        ASSERT_EQ(config.has_value(), c.interval.has_value()) << c.ini;
        if (config) {
            EXPECT_EQ(config->interval.count(), *c.interval);
        }
    }
    fs::remove_all(bundle);
    EXPECT_FALSE(readConfig(bundle.string()));
}

} // namespace
} // namespace corvane::update
