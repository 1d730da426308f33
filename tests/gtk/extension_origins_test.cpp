// The origin rule as the web process extension is built: without ICU's library. Hosts the engine hands
// over are ASCII and must read exactly as the core reads them; any other host is refused.
#include "extension/TrustedOrigins.hpp"
#include "wire/BridgeWire.hpp"

#include <gtest/gtest.h>

namespace corvane::gtk {
namespace {

struct Case {
    const char* uri;
    bool app;
};

const Case kCases[] = {
    {"https://app.example/farm", true},
    {"HTTPS://APP.EXAMPLE/Farm", true},
    {"https://app.exam%70le/x", true},
    {"https://app.example:8443/x", false},
    {"https://app.example.evil.example/", false},
    {"https://app.example/search?filter[a]=1|2&q=100%", true},
    {"https://xn--bcher-kva.example/", true},
    {"https://XN--BCHER-KVA.example/", true},
    {"http://2130706433:8080/", true},
    {"https://[0:0:0:0:0:0:0:1]:8443/", true},
    // Never handed over by the engine: refused, the safe side.
    {"https://bücher.example/", false},
    {"https://b%C3%BCcher.example/", false},
    {"https://ａｐｐ.example/", false},
    {"https://b\xff"
     "cher.example/",
     false},
};

TEST(ExtensionOrigins, AsciiHostsReadAsTheCoreReadsThemAndOthersAreRefused) {
    const char* origins[] = {"https://app.example", "http://127.0.0.1:8080", "https://[::1]:8443",
                             "https://xn--bcher-kva.example", nullptr};
    GVariantDict dict;
    g_variant_dict_init(&dict, nullptr);
    g_variant_dict_insert_value(&dict, wire::kTrustedOriginsKey, g_variant_new_strv(origins, -1));
    GVariant* startup = g_variant_ref_sink(g_variant_dict_end(&dict));
    const auto extension = extension::TrustedOrigins::fromStartupData(startup);
    g_variant_unref(startup);
    ASSERT_TRUE(extension);
    for (const Case& c : kCases) EXPECT_EQ(extension->trusts(c.uri), c.app) << c.uri;
}

} // namespace
} // namespace corvane::gtk
