// The UI process's reading of a post as the web process sends it: any bytes, taken as a post message's
// parameters or as a body alone, are refused or decoded, within the limits, without a fault.
#include "wire/BridgeValue.hpp"
#include "wire/BridgeWire.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using corvane::gtk::bridgePostFromParameters;
using corvane::gtk::bridgeValueToJson;
namespace wire = corvane::gtk::wire;

long countValues(const nlohmann::json& value) {
    long count = 1;
    if (value.is_structured())
        for (const auto& child : value) count += countValues(child);
    return count;
}

void check(const nlohmann::json& body) {
    if (countValues(body) > wire::kMaxValues) std::abort();
    // What is handed on must be printable as JSON.
    (void)body.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    GBytes* bytes = g_bytes_new(data, size);
    GVariant* parameters =
        g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE(wire::kPostParametersType), bytes, FALSE));
    bool asked = false;
    const auto post = bridgePostFromParameters(parameters, [&asked](bool, const std::string& origin, bool) {
        asked = true;
        return !origin.empty();
    });
    if (post) {
        if (!asked || post->origin.empty()) std::abort();
        check(post->body);
    }
    g_variant_unref(parameters);

    GVariant* body = g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE_VARIANT, bytes, FALSE));
    GVariant* inner = g_variant_get_variant(body);
    if (const auto value = bridgeValueToJson(inner)) check(*value);
    g_variant_unref(inner);
    g_variant_unref(body);
    g_bytes_unref(bytes);
    return 0;
}
