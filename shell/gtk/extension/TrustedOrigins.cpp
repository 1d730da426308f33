#include "extension/TrustedOrigins.hpp"

#include "wire/BridgeWire.hpp"

#include <string>
#include <vector>

namespace corvane::gtk::extension {

std::optional<TrustedOrigins> TrustedOrigins::fromStartupData(GVariant* data) {
    if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE_VARDICT)) return std::nullopt;
    g_autoptr(GVariant) list = g_variant_lookup_value(data, wire::kTrustedOriginsKey, G_VARIANT_TYPE_STRING_ARRAY);
    if (!list) return std::nullopt;
    gsize count = 0;
    g_autofree const gchar** strings = g_variant_get_strv(list, &count);
    std::vector<std::string> entries(strings, strings + count);
    return TrustedOrigins(core::AppOrigins(entries), !entries.empty());
}

bool TrustedOrigins::trusts(const char* uri) const { return uri && origins_.containsOrigin(uri); }

} // namespace corvane::gtk::extension
