#include "extension/PostBody.hpp"

#include "wire/BridgeWire.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace corvane::gtk::extension {

namespace {

// Bounds the work a single post can cause: a sparse array of length 2^32, or one
// large array referenced many times, would otherwise stall the web process.
constexpr double kMaxValues = wire::kMaxValues;
constexpr size_t kMaxStringBytes = wire::kMaxStringBytes;

// Strings travel through JSON: jsc_value_to_string would stop at U+0000. A lone surrogate is not
// text the shell can use, so it refuses the post.
bool readString(JSCValue* value, std::string& out) {
    g_autofree char* json = jsc_value_to_json(value, 0);
    if (!json) return false;
    const nlohmann::json parsed = nlohmann::json::parse(json, nullptr, false);
    if (!parsed.is_string()) return false;
    out = parsed.get<std::string>();
    return true;
}

GVariant* nullVariant() { return g_variant_new_maybe(G_VARIANT_TYPE_VARIANT, nullptr); }

class BodyReader {
public:
    BodyReader(JSCContext* context, JSCValue* keys) : context_(context), keys_(keys) {}

    GVariant* read(JSCValue* body) {
        if (jsc_value_is_undefined(body) || !jsc_value_is_function(keys_)) return nullptr;
        return readValue(body, 0);
    }

private:
    // Getters and proxies run page code, which may throw.
    bool threw() const { return jsc_context_get_exception(context_); }

    GVariant* readValue(JSCValue* value, int depth) {
        if (--budget_ < 0) return nullptr;
        // Holes and undefined read as null, as in JSON, and count like any other value.
        if (jsc_value_is_null(value) || jsc_value_is_undefined(value)) return nullVariant();
        if (jsc_value_is_boolean(value)) return g_variant_new_boolean(jsc_value_to_boolean(value));
        if (jsc_value_is_number(value)) return g_variant_new_double(jsc_value_to_double(value));
        if (jsc_value_is_string(value)) return readStringValue(value);
        if (jsc_value_is_function(value)) return nullptr;
        if (jsc_value_is_array(value)) return readContainer(value, depth, true);
        if (jsc_value_is_object(value)) return readContainer(value, depth, false);
        // Symbols, BigInts, and undefined where no member can be dropped.
        return nullptr;
    }

    GVariant* readStringValue(JSCValue* value) {
        std::string text;
        if (!readString(value, text) || !countText(text.size())) return nullptr;
        if (text.find('\0') != std::string::npos)
            return g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, text.data(), text.size(), 1);
        return g_variant_new_string(text.c_str());
    }

    // Refuses, before reading any of them, more elements than the values still allowed.
    bool readLength(JSCValue* arrayLike, double& length) {
        JSCValue* value = jsc_value_object_get_property(arrayLike, "length");
        length = jsc_value_to_double(value);
        g_object_unref(value);
        return !threw() && std::isfinite(length) && length >= 0 && length == std::floor(length) && length <= budget_;
    }

    bool countText(size_t bytes) { return (stringBytes_ += bytes) <= kMaxStringBytes; }

    GVariant* readContainer(JSCValue* value, int depth, bool isArray) {
        if (depth + 1 > wire::kMaxDepth) return nullptr;
        for (JSCValue* ancestor : ancestors_)
            if (ancestor == value) return nullptr;
        ancestors_.push_back(value);
        GVariantBuilder builder;
        g_variant_builder_init(&builder, isArray ? G_VARIANT_TYPE("av") : G_VARIANT_TYPE_VARDICT);
        const bool ok = isArray ? readElements(value, depth, builder) : readMembers(value, depth, builder);
        ancestors_.pop_back();
        if (!ok) {
            g_variant_builder_clear(&builder);
            return nullptr;
        }
        return g_variant_builder_end(&builder);
    }

    bool readElements(JSCValue* array, int depth, GVariantBuilder& builder) {
        double length;
        if (!readLength(array, length)) return false;
        for (guint index = 0; index < static_cast<guint>(length); ++index) {
            g_autoptr(JSCValue) element = jsc_value_object_get_property_at_index(array, index);
            if (threw()) return false;
            GVariant* child = readValue(element, depth + 1);
            if (!child) return false;
            g_variant_builder_add_value(&builder, g_variant_new_variant(child));
        }
        return true;
    }

    bool readMembers(JSCValue* object, int depth, GVariantBuilder& builder) {
        g_autoptr(JSCValue) keys = jsc_value_function_call(keys_, JSC_TYPE_VALUE, object, G_TYPE_NONE);
        double count;
        if (threw() || !jsc_value_is_array(keys) || !readLength(keys, count)) return false;
        for (guint index = 0; index < static_cast<guint>(count); ++index) {
            g_autoptr(JSCValue) key = jsc_value_object_get_property_at_index(keys, index);
            std::string name;
            if (threw() || !jsc_value_is_string(key) || !readString(key, name) ||
                name.find('\0') != std::string::npos || !countText(name.size()))
                return false;
            g_autoptr(JSCValue) member = jsc_value_object_get_property(object, name.c_str());
            if (threw()) return false;
            // Dropped, as in JSON, but read all the same.
            if (jsc_value_is_undefined(member)) {
                if (--budget_ < 0) return false;
                continue;
            }
            GVariant* child = readValue(member, depth + 1);
            if (!child) return false;
            g_variant_builder_add(&builder, "{sv}", name.c_str(), child);
        }
        return true;
    }

    JSCContext* context_;
    JSCValue* keys_;
    std::vector<JSCValue*> ancestors_;
    double budget_ = kMaxValues;
    size_t stringBytes_ = 0;
};

} // namespace

GVariant* readPostBody(JSCContext* context, JSCValue* body, JSCValue* keys) {
    return BodyReader(context, keys).read(body);
}

} // namespace corvane::gtk::extension
