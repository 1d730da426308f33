#include "BridgeValue.hpp"

#include "BridgeWire.hpp"

#include <cstring>

namespace corvane::gtk {

namespace {

// g_utf8_validate_len refuses every U+0000, which a posted string may hold.
bool isUtf8(const char* text, size_t length)
{
    while (length) {
        const auto* nul = static_cast<const char*>(std::memchr(text, '\0', length));
        const size_t chunk = nul ? static_cast<size_t>(nul - text) : length;
        if (chunk && !g_utf8_validate_len(text, chunk, nullptr))
            return false;
        const size_t consumed = nul ? chunk + 1 : chunk;
        text += consumed;
        length -= consumed;
    }
    return true;
}

std::optional<nlohmann::json> convert(GVariant* value, int depth);

std::optional<nlohmann::json> convertArray(GVariant* array, int depth)
{
    auto result = nlohmann::json::array();
    const gsize count = g_variant_n_children(array);
    for (gsize index = 0; index < count; ++index) {
        GVariant* boxed = g_variant_get_child_value(array, index);
        GVariant* element = g_variant_get_variant(boxed);
        auto converted = convert(element, depth + 1);
        g_variant_unref(element);
        g_variant_unref(boxed);
        if (!converted)
            return std::nullopt;
        result.push_back(std::move(*converted));
    }
    return result;
}

std::optional<nlohmann::json> convertObject(GVariant* dictionary, int depth)
{
    auto result = nlohmann::json::object();
    const gsize count = g_variant_n_children(dictionary);
    for (gsize index = 0; index < count; ++index) {
        const char* key;
        GVariant* member;
        g_variant_get_child(dictionary, index, "{&sv}", &key, &member);
        // The extension never repeats a key; a repeat means a forged message.
        const bool repeated = result.contains(key);
        auto converted = repeated ? std::nullopt : convert(member, depth + 1);
        g_variant_unref(member);
        if (!converted)
            return std::nullopt;
        result[key] = std::move(*converted);
    }
    return result;
}

std::optional<nlohmann::json> convert(GVariant* value, int depth)
{
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE))
        return nlohmann::json(g_variant_get_double(value));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
        return nlohmann::json(static_cast<bool>(g_variant_get_boolean(value)));
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        gsize length;
        const char* text = g_variant_get_string(value, &length);
        return nlohmann::json(std::string(text, length));
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTESTRING)) {
        gsize length;
        const auto* bytes = static_cast<const char*>(g_variant_get_fixed_array(value, &length, 1));
        if (!isUtf8(bytes, length))
            return std::nullopt;
        return nlohmann::json(std::string(bytes ? bytes : "", length));
    }
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("mv"))) {
        if (g_variant_n_children(value))
            return std::nullopt;
        return nlohmann::json(nullptr);
    }
    const bool array = g_variant_is_of_type(value, G_VARIANT_TYPE("av"));
    const bool object = g_variant_is_of_type(value, G_VARIANT_TYPE_VARDICT);
    if ((!array && !object) || depth + 1 > wire::kMaxDepth)
        return std::nullopt;
    return array ? convertArray(value, depth) : convertObject(value, depth);
}

} // namespace

std::optional<nlohmann::json> bridgeValueToJson(GVariant* value)
{
    if (!value)
        return std::nullopt;
    return convert(value, 0);
}

std::optional<BridgePost> bridgePostFromParameters(GVariant* parameters)
{
    if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kPostParametersType)))
        return std::nullopt;
    GVariant* body;
    gboolean mainFrame;
    const char* origin;
    gboolean current;
    g_variant_get(parameters, "(vb&sb)", &body, &mainFrame, &origin, &current);
    auto converted = bridgeValueToJson(body);
    g_variant_unref(body);
    if (!converted)
        return std::nullopt;
    return BridgePost { std::move(*converted), mainFrame != FALSE, origin, current != FALSE };
}

} // namespace corvane::gtk
