#include "wire/BridgeValue.hpp"

#include "wire/BridgeWire.hpp"

#include <cstring>

namespace corvane::gtk {

namespace {

// g_utf8_validate_len refuses every U+0000, which a posted string may hold.
bool isUtf8(const char* text, size_t length) {
    while (length) {
        const auto* nul = static_cast<const char*>(std::memchr(text, '\0', length));
        const size_t chunk = nul ? static_cast<size_t>(nul - text) : length;
        if (chunk && !g_utf8_validate_len(text, chunk, nullptr)) return false;
        const size_t consumed = nul ? chunk + 1 : chunk;
        text += consumed;
        length -= consumed;
    }
    return true;
}

// The extension refuses bodies over its limits; these hold whatever the message says, so a forged or
// faulty one costs no more than a valid one could.
class Converter {
public:
    std::optional<nlohmann::json> convert(GVariant* value, int depth) {
        if (--budget_ < 0) return std::nullopt;
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_DOUBLE)) return nlohmann::json(g_variant_get_double(value));
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN))
            return nlohmann::json(static_cast<bool>(g_variant_get_boolean(value)));
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
            gsize length;
            const char* text = g_variant_get_string(value, &length);
            if (!countText(length)) return std::nullopt;
            return nlohmann::json(std::string(text, length));
        }
        if (g_variant_is_of_type(value, G_VARIANT_TYPE_BYTESTRING)) {
            gsize length;
            const auto* bytes = static_cast<const char*>(g_variant_get_fixed_array(value, &length, 1));
            if (!countText(length) || !isUtf8(bytes, length)) return std::nullopt;
            return nlohmann::json(std::string(bytes ? bytes : "", length));
        }
        if (g_variant_is_of_type(value, G_VARIANT_TYPE("mv"))) {
            if (g_variant_n_children(value)) return std::nullopt;
            return nlohmann::json(nullptr);
        }
        const bool array = g_variant_is_of_type(value, G_VARIANT_TYPE("av"));
        const bool object = g_variant_is_of_type(value, G_VARIANT_TYPE_VARDICT);
        if ((!array && !object) || depth + 1 > wire::kMaxDepth) return std::nullopt;
        // Refused before any child is read, not after a hundred thousand of them.
        if (g_variant_n_children(value) > static_cast<gsize>(budget_)) return std::nullopt;
        return array ? convertArray(value, depth) : convertObject(value, depth);
    }

private:
    bool countText(gsize bytes) { return (textBytes_ += bytes) <= wire::kMaxStringBytes; }

    std::optional<nlohmann::json> convertArray(GVariant* array, int depth) {
        auto result = nlohmann::json::array();
        const gsize count = g_variant_n_children(array);
        for (gsize index = 0; index < count; ++index) {
            GVariant* boxed = g_variant_get_child_value(array, index);
            GVariant* element = g_variant_get_variant(boxed);
            auto converted = convert(element, depth + 1);
            g_variant_unref(element);
            g_variant_unref(boxed);
            if (!converted) return std::nullopt;
            result.push_back(std::move(*converted));
        }
        return result;
    }

    std::optional<nlohmann::json> convertObject(GVariant* dictionary, int depth) {
        auto result = nlohmann::json::object();
        const gsize count = g_variant_n_children(dictionary);
        for (gsize index = 0; index < count; ++index) {
            const char* key;
            GVariant* member;
            g_variant_get_child(dictionary, index, "{&sv}", &key, &member);
            // The extension never repeats a key; a repeat means a forged message.
            const bool repeated = result.contains(key);
            auto converted = repeated || !countText(std::strlen(key)) ? std::nullopt : convert(member, depth + 1);
            g_variant_unref(member);
            if (!converted) return std::nullopt;
            result[key] = std::move(*converted);
        }
        return result;
    }

    long budget_ = wire::kMaxValues;
    gsize textBytes_ = 0;
};

} // namespace

std::optional<nlohmann::json> bridgeValueToJson(GVariant* value) {
    if (!value || g_variant_get_size(value) > wire::kMaxBodyBytes) return std::nullopt;
    return Converter().convert(value, 0);
}

std::optional<BridgePost> bridgePostFromParameters(GVariant* parameters, const BridgeSenderCheck& accepts) {
    if (!parameters || !g_variant_is_of_type(parameters, G_VARIANT_TYPE(wire::kPostParametersType)))
        return std::nullopt;
    // Only the sender's fields are read before the check (child by child: g_variant_get would flatten the
    // whole message first); the body stays untouched bytes until then.
    const auto child = [parameters](gsize index) { return g_variant_get_child_value(parameters, index); };
    GVariant* mainFrame = child(0);
    GVariant* origin = child(1);
    GVariant* current = child(2);
    BridgePost post{nullptr, g_variant_get_boolean(mainFrame) != FALSE, g_variant_get_string(origin, nullptr),
                    g_variant_get_boolean(current) != FALSE};
    g_variant_unref(mainFrame);
    g_variant_unref(origin);
    g_variant_unref(current);
    if (!accepts || !accepts(post.mainFrame, post.origin, post.currentWindow)) return std::nullopt;
    GVariant* boxed = g_variant_get_child_value(parameters, 3);
    GVariant* body = g_variant_get_variant(boxed);
    auto converted = bridgeValueToJson(body);
    g_variant_unref(body);
    g_variant_unref(boxed);
    if (!converted) return std::nullopt;
    post.body = std::move(*converted);
    return post;
}

} // namespace corvane::gtk
