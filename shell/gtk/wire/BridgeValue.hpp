#pragma once

#include <glib.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>

namespace corvane::gtk {

struct BridgePost {
    nlohmann::json body;
    bool mainFrame;
    std::string origin;
    bool currentWindow;
};

// Whether a post from this sender may be heard at all; asked before its body is decoded.
using BridgeSenderCheck = std::function<bool(bool mainFrame, const std::string& origin, bool currentWindow)>;

// A body as the extension encodes it, or nothing when any part is malformed or it is over the limits
// (values, bytes). Time is linear in the body's size.
std::optional<nlohmann::json> bridgeValueToJson(GVariant* value);

// The parameters of one post message, or nothing when malformed or when `accepts` refuses its sender;
// the body is decoded only once the sender is accepted.
std::optional<BridgePost> bridgePostFromParameters(GVariant* parameters, const BridgeSenderCheck& accepts);

} // namespace corvane::gtk
