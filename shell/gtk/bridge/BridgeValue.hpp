#pragma once

#include "BridgeChannel.hpp"

#include <glib.h>

#include <optional>

namespace corvane::gtk {

// A body as the extension encodes it, or nothing when any part is malformed.
std::optional<nlohmann::json> bridgeValueToJson(GVariant* value);

// The parameters of one post message, or nothing when malformed.
std::optional<BridgePost> bridgePostFromParameters(GVariant* parameters);

} // namespace corvane::gtk
