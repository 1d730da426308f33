#include "BridgeValue.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace corvane::gtk {
namespace {

// Spells out each value's JSON type, so a bool that became 1.0, NaN that
// became null or -0 that became 0 shows up as a different text.
std::string typed(const nlohmann::json& value)
{
    if (value.is_number_float()) {
        char buffer[G_ASCII_DTOSTR_BUF_SIZE];
        return std::string("d:") + g_ascii_formatd(buffer, sizeof buffer, "%g", value.get<double>());
    }
    if (!value.is_structured())
        return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace); // null, true, false, "text"
    std::string text = value.is_array() ? "[" : "{";
    for (const auto& [key, member] : value.items())
        text += (value.is_array() ? "" : key + "=") + typed(member) + ",";
    return text + (value.is_array() ? "]" : "}");
}

std::unique_ptr<GVariant, decltype(&g_variant_unref)> parsed(const std::string& text)
{
    GVariant* value = g_variant_parse(nullptr, text.c_str(), nullptr, nullptr, nullptr);
    EXPECT_NE(value, nullptr) << text;
    return { value, g_variant_unref };
}

std::string nest(int depth, const std::string& open, std::string text, const std::string& close)
{
    while (depth--)
        text = open + text + close;
    return text;
}

TEST(BridgeValueToJson, ConvertsBodiesAndDropsMalformedOnes)
{
    const std::optional<std::string> dropped;
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        { "{'n': <nan>}", "{n=d:nan,}" },
        { "-inf", "d:-inf" },
        { "-0.0", "d:-0" },
        { "[<true>, <false>, <0.0>]", "[true,false,d:0,]" },
        { "{'type': <'notify'>, 'data': <{'list': <[<1.5>, <'h\u00e9 \U0001F600'>, <{'deep': <true>}>]>}>}",
            "{data={list=[d:1.5,\"h\u00e9 \U0001F600\",{deep=true,},],},type=\"notify\",}" },
        { "{'body': <@mv nothing>}", "{body=null,}" },
        { "[<@a{sv} {}>, <@av []>]", "[{},[],]" },
        { "[byte 0x61, 0x00, 0x62]", R"("a\u0000b")" },
        { nest(32, "[<", "1.0", ">]"), nest(32, "[", "d:1", ",]") },
        { nest(33, "[<", "1.0", ">]"), dropped },
        // Anything the extension never sends drops the whole value, however deep.
        { "@mv <1.0>", dropped },
        { "['a', 'b']", dropped },
        { "{'a': 'b'}", dropped },
        { "<1.0>", dropped },
        { "{'type': <'print'>, 'n': <int32 1>}", dropped },
        { "[<1.0>, <byte 1>]", dropped },
        { "[{'a', <1.0>}, {'a', <2.0>}]", dropped },
        { "[byte 0x61, 0xff]", dropped },
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const auto result = bridgeValueToJson(parsed(text).get());
        EXPECT_EQ(result ? std::optional(typed(*result)) : dropped, expected);
    }
}

TEST(BridgePostFromParameters, ReadsSenderAndBodyAndDropsMalformedMessages)
{
    const auto post
        = bridgePostFromParameters(parsed("(<{'type': <'print'>}>, true, 'https://a.example:8443', false)").get());
    ASSERT_TRUE(post.has_value());
    EXPECT_EQ(typed(post->body), R"({type="print",})");
    EXPECT_TRUE(post->mainFrame);
    EXPECT_EQ(post->origin, "https://a.example:8443");
    EXPECT_FALSE(post->currentWindow);

    for (const char* text : { "(<1.0>, true, 'o')", "(<1.0>, uint32 1, 'o', true)", "(<int32 1>, true, 'o', true)" }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(bridgePostFromParameters(parsed(text).get()).has_value());
    }
    EXPECT_FALSE(bridgePostFromParameters(nullptr).has_value());
}

} // namespace
} // namespace corvane::gtk
