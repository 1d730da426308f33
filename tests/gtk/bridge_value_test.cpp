#include "wire/BridgeValue.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::gtk {
namespace {

// Spells out each value's JSON type, so a bool that became 1.0, NaN that
// became null or -0 that became 0 shows up as a different text.
std::string typed(const nlohmann::json& value) {
    if (value.is_number_float()) {
        char buffer[G_ASCII_DTOSTR_BUF_SIZE];
        return std::string("d:") + g_ascii_formatd(buffer, sizeof buffer, "%g", value.get<double>());
    }
    if (!value.is_structured())
        return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); // null, true, false, "text"
    std::string text = value.is_array() ? "[" : "{";
    for (const auto& [key, member] : value.items()) text += (value.is_array() ? "" : key + "=") + typed(member) + ",";
    return text + (value.is_array() ? "]" : "}");
}

std::unique_ptr<GVariant, decltype(&g_variant_unref)> parsed(const std::string& text) {
    GVariant* value = g_variant_parse(nullptr, text.c_str(), nullptr, nullptr, nullptr);
    EXPECT_NE(value, nullptr) << text;
    return {value, g_variant_unref};
}

std::string nest(int depth, const std::string& open, std::string text, const std::string& close) {
    while (depth--) text = open + text + close;
    return text;
}

TEST(BridgeValueToJson, ConvertsBodiesAndDropsMalformedOnes) {
    const std::optional<std::string> dropped;
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"{'n': <nan>}", "{n=d:nan,}"},
        {"-inf", "d:-inf"},
        {"-0.0", "d:-0"},
        {"[<true>, <false>, <0.0>]", "[true,false,d:0,]"},
        {"{'type': <'notify'>, 'data': <{'list': <[<1.5>, <'h\u00e9 \U0001F600'>, <{'deep': <true>}>]>}>}",
         "{data={list=[d:1.5,\"h\u00e9 \U0001F600\",{deep=true,},],},type=\"notify\",}"},
        {"{'body': <@mv nothing>}", "{body=null,}"},
        {"[<@a{sv} {}>, <@av []>]", "[{},[],]"},
        {"[byte 0x61, 0x00, 0x62]", R"("a\u0000b")"},
        {nest(32, "[<", "1.0", ">]"), nest(32, "[", "d:1", ",]")},
        {nest(33, "[<", "1.0", ">]"), dropped},
        // Anything the extension never sends drops the whole value, however deep.
        {"@mv <1.0>", dropped},
        {"['a', 'b']", dropped},
        {"{'a': 'b'}", dropped},
        {"<1.0>", dropped},
        {"{'type': <'print'>, 'n': <int32 1>}", dropped},
        {"[<1.0>, <byte 1>]", dropped},
        {"[{'a', <1.0>}, {'a', <2.0>}]", dropped},
        {"[byte 0x61, 0xff]", dropped},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const auto result = bridgeValueToJson(parsed(text).get());
        EXPECT_EQ(result ? std::optional(typed(*result)) : dropped, expected);
    }
}

// An array of `count` values, each `element` (a GVariant text).
std::unique_ptr<GVariant, decltype(&g_variant_unref)> repeated(gsize count, const char* element) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
    GVariant* one = g_variant_ref_sink(g_variant_parse(nullptr, element, nullptr, nullptr, nullptr));
    for (gsize i = 0; i < count; ++i) g_variant_builder_add(&builder, "v", one);
    g_variant_unref(one);
    return {g_variant_ref_sink(g_variant_builder_end(&builder)), g_variant_unref};
}

TEST(BridgeValueToJson, EveryValueCountsTowardTheLimit) {
    // The body itself is one value: 99 999 elements fill the limit exactly.
    EXPECT_TRUE(bridgeValueToJson(repeated(99999, "@mv nothing").get()));
    EXPECT_FALSE(bridgeValueToJson(repeated(100000, "@mv nothing").get()));
    // Ten arrays of 10 000 nulls: a hundred thousand and eleven.
    const auto inner = repeated(10000, "@mv nothing");
    gchar* text = g_variant_print(inner.get(), TRUE);
    EXPECT_FALSE(bridgeValueToJson(repeated(10, text).get()));
    EXPECT_TRUE(bridgeValueToJson(repeated(9, text).get()));
    g_free(text);
    // Text over 1 MiB in all, member names included.
    const std::string half = "'" + std::string(600 << 10, 'x') + "'";
    EXPECT_TRUE(bridgeValueToJson(repeated(1, half.c_str()).get()));
    EXPECT_FALSE(bridgeValueToJson(repeated(2, half.c_str()).get()));
    const std::string named = "{'" + std::string(600 << 10, 'k') + "': <1.0>}";
    EXPECT_FALSE(bridgeValueToJson(repeated(2, named.c_str()).get()));
}

TEST(BridgePostFromParameters, ReadsSenderFirstThenTheBodyOfAnAcceptedOne) {
    const auto message = parsed("(true, 'https://a.example:8443', false, <{'type': <'print'>}>)");
    std::vector<std::string> asked;
    const auto ask = [&](bool answer) {
        return [&asked, answer](bool mainFrame, const std::string& origin, bool current) {
            asked.push_back(std::to_string(mainFrame) + " " + origin + " " + std::to_string(current));
            return answer;
        };
    };
    EXPECT_FALSE(bridgePostFromParameters(message.get(), ask(false)).has_value());
    const auto post = bridgePostFromParameters(message.get(), ask(true));
    EXPECT_EQ(asked, (std::vector<std::string>{"1 https://a.example:8443 0", "1 https://a.example:8443 0"}));
    ASSERT_TRUE(post.has_value());
    EXPECT_EQ(typed(post->body), R"({type="print",})");
    EXPECT_TRUE(post->mainFrame);
    EXPECT_EQ(post->origin, "https://a.example:8443");
    EXPECT_FALSE(post->currentWindow);

    // A refused sender's body is never read, whatever it holds.
    asked.clear();
    const auto huge = repeated(1000000, "@mv nothing");
    // As it arrives from the web process: bytes nobody has checked yet.
    GVariant* built = g_variant_ref_sink(
        g_variant_new("(bsb@v)", FALSE, "https://frame.example", TRUE, g_variant_new_variant(huge.get())));
    GBytes* bytes = g_variant_get_data_as_bytes(built);
    g_variant_unref(built);
    const std::unique_ptr<GVariant, decltype(&g_variant_unref)> floodMessage(
        g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE("(bsbv)"), bytes, FALSE)), g_variant_unref);
    g_bytes_unref(bytes);
    const auto started = g_get_monotonic_time();
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(bridgePostFromParameters(floodMessage.get(), ask(false)).has_value());
    EXPECT_LT(g_get_monotonic_time() - started, G_USEC_PER_SEC / 2);
    EXPECT_EQ(asked.size(), 1000u);

    const auto accept = [](bool, const std::string&, bool) { return true; };
    for (const char* text : {"(true, 'o', <1.0>)", "(uint32 1, 'o', true, <1.0>)", "(true, 'o', true, <int32 1>)",
                             "(<1.0>, true, 'o', true)"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(bridgePostFromParameters(parsed(text).get(), accept).has_value());
    }
    EXPECT_FALSE(bridgePostFromParameters(nullptr, accept).has_value());
}

} // namespace
} // namespace corvane::gtk
