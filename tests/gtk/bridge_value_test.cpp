#include "BridgeValue.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace corvane::gtk {
namespace {

// Spells out each value's JSON type, so a bool that became 1.0, NaN that
// became null or -0 that became 0 shows up as a different text.
std::string typed(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::boolean:
        return value.get<bool>() ? "true" : "false";
    case nlohmann::json::value_t::number_float: {
        const double number = value.get<double>();
        if (std::isnan(number))
            return "NaN";
        char buffer[64];
        g_ascii_formatd(buffer, sizeof buffer, "%g", number);
        return std::string("d:") + buffer;
    }
    case nlohmann::json::value_t::string:
        return "s:" + nlohmann::json(value.get<std::string>()).dump();
    case nlohmann::json::value_t::array: {
        std::string text = "[";
        for (const auto& element : value)
            text += typed(element) + ",";
        return text + "]";
    }
    case nlohmann::json::value_t::object: {
        std::string text = "{";
        for (const auto& [key, member] : value.items())
            text += key + "=" + typed(member) + ",";
        return text + "}";
    }
    default:
        return "other";
    }
}

GVariant* parsed(const char* text)
{
    GError* error = nullptr;
    GVariant* value = g_variant_parse(nullptr, text, nullptr, nullptr, &error);
    if (!value) {
        ADD_FAILURE() << text << ": " << error->message;
        g_error_free(error);
    }
    return value;
}

GVariant* nullValue()
{
    return g_variant_new_maybe(G_VARIANT_TYPE_VARIANT, nullptr);
}

GVariant* object(const char* key, GVariant* member)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&builder, "{sv}", key, member);
    return g_variant_builder_end(&builder);
}

GVariant* array(std::vector<GVariant*> elements)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
    for (GVariant* element : elements)
        g_variant_builder_add(&builder, "v", element);
    return g_variant_builder_end(&builder);
}

GVariant* bytes(const std::string& data)
{
    return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, data.data(), data.size(), 1);
}

GVariant* nestedArrays(int depth)
{
    GVariant* value = g_variant_new_double(1);
    for (int level = 0; level < depth; ++level)
        value = array({ value });
    return value;
}

std::string nestedText(int depth)
{
    std::string text(depth, '[');
    text += "d:1,";
    for (int level = 1; level < depth; ++level)
        text += "],";
    return text + "]";
}

struct Case {
    const char* name;
    std::function<GVariant*()> make;
    std::optional<std::string> expected; // nullopt: the whole value is dropped
};

const Case kCases[] = {
    { "NaN stays a float NaN", [] { return g_variant_new_double(std::nan("")); }, "NaN" },
    { "NaN inside an object", [] { return object("n", g_variant_new_double(std::nan(""))); }, "{n=NaN,}" },
    { "infinity stays a number", [] { return g_variant_new_double(-std::numeric_limits<double>::infinity()); }, "d:-inf" },
    { "negative zero keeps its sign", [] { return g_variant_new_double(-0.0); }, "d:-0" },
    { "true stays a boolean", [] { return g_variant_new_boolean(TRUE); }, "true" },
    { "false is not the number 0", [] { return array({ g_variant_new_boolean(FALSE), g_variant_new_double(0) }); },
        "[false,d:0,]" },
    { "nested objects and arrays",
        [] { return parsed("{'type': <'notify'>, 'data': <{'list': <[<1.5>, <'x'>, <{'deep': <true>}>]>}>}"); },
        "{data={list=[d:1.5,s:\"x\",{deep=true,},],},type=s:\"notify\",}" },
    { "null member is kept and null", [] { return object("body", nullValue()); }, "{body=null,}" },
    { "absent member stays absent", [] { return parsed("@a{sv} {'title': <'t'>}"); }, "{title=s:\"t\",}" },
    { "empty object is an object, not null", [] { return parsed("@a{sv} {}"); }, "{}" },
    { "empty array is an array", [] { return parsed("@av []"); }, "[]" },
    { "string keeps U+0000", [] { return bytes(std::string("a\0b", 3)); }, "s:\"a\\u0000b\"" },
    { "plain string", [] { return parsed("'h\u00e9 \U0001F600'"); }, "s:\"h\u00e9 \U0001F600\"" },
    { "32 levels of nesting pass", [] { return nestedArrays(32); },
        nestedText(32) },
    { "33 levels of nesting are dropped", [] { return nestedArrays(33); }, std::nullopt },
    { "a null holding a value is dropped", [] { return g_variant_new_maybe(nullptr, g_variant_new_variant(g_variant_new_double(1))); },
        std::nullopt },
    { "int32 is not a body type", [] { return g_variant_new_int32(3); }, std::nullopt },
    { "int64 is not a body type", [] { return g_variant_new_int64(3); }, std::nullopt },
    { "uint32 is not a body type", [] { return g_variant_new_uint32(3); }, std::nullopt },
    { "array of strings is not av", [] { return parsed("['a', 'b']"); }, std::nullopt },
    { "a{ss} is not an object", [] { return parsed("{'a': 'b'}"); }, std::nullopt },
    { "a tuple is not a body type", [] { return parsed("('a', 1.0)"); }, std::nullopt },
    { "a bare variant is not a body type", [] { return g_variant_new_variant(g_variant_new_double(1)); }, std::nullopt },
    { "a bad member drops the whole object", [] { return parsed("{'type': <'print'>, 'n': <int32 1>}"); },
        std::nullopt },
    { "a bad element drops the whole array", [] { return parsed("[<1.0>, <byte 1>]"); }, std::nullopt },
    { "repeated key is dropped", [] { return parsed("[{'a', <1.0>}, {'a', <2.0>}]"); }, std::nullopt },
    { "bytes that are not UTF-8 are dropped", [] { return bytes("a\xff"); }, std::nullopt },
};

class BridgeValueToJson : public testing::TestWithParam<Case> { };

TEST_P(BridgeValueToJson, Converts)
{
    const Case& c = GetParam();
    GVariant* value = g_variant_ref_sink(c.make());
    ASSERT_NE(value, nullptr);
    const auto result = bridgeValueToJson(value);
    g_variant_unref(value);
    if (!c.expected) {
        EXPECT_FALSE(result.has_value()) << typed(*result);
        return;
    }
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(typed(*result), *c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, BridgeValueToJson, testing::ValuesIn(kCases),
    [](const testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.name; *p; ++p)
            name += g_ascii_isalnum(*p) ? *p : '_';
        return name;
    });

TEST(BridgePostFromParameters, ReadsSenderAndBody)
{
    GVariant* parameters = g_variant_ref_sink(
        g_variant_new("(vbsb)", object("type", g_variant_new_string("print")), TRUE, "https://a.example:8443", FALSE));
    const auto post = bridgePostFromParameters(parameters);
    g_variant_unref(parameters);
    ASSERT_TRUE(post.has_value());
    EXPECT_EQ(typed(post->body), "{type=s:\"print\",}");
    EXPECT_TRUE(post->mainFrame);
    EXPECT_EQ(post->origin, "https://a.example:8443");
    EXPECT_FALSE(post->currentWindow);
}

TEST(BridgePostFromParameters, DropsMalformedMessages)
{
    const std::vector<std::function<GVariant*()>> malformed = {
        [] { return g_variant_new("(vbs)", g_variant_new_double(1), TRUE, "https://a.example"); },
        [] { return g_variant_new("(vbsbb)", g_variant_new_double(1), TRUE, "https://a.example", TRUE, TRUE); },
        [] { return g_variant_new("(vusb)", g_variant_new_double(1), 1u, "https://a.example", TRUE); },
        [] { return g_variant_new("(vbsb)", g_variant_new_int32(1), TRUE, "https://a.example", TRUE); },
    };
    for (size_t index = 0; index < malformed.size(); ++index) {
        GVariant* parameters = g_variant_ref_sink(malformed[index]());
        EXPECT_FALSE(bridgePostFromParameters(parameters).has_value()) << "message " << index;
        g_variant_unref(parameters);
    }
    EXPECT_FALSE(bridgePostFromParameters(nullptr).has_value());
}

} // namespace
} // namespace corvane::gtk
