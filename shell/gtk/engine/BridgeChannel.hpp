#pragma once

#include "wire/BridgeValue.hpp"

#include <webkit/webkit.h>

#include <functional>
#include <string>
#include <vector>

namespace corvane::gtk {

// Point the web context at the extension; call before the first web view is created.
// Main-frame documents are requested only from `trustedOrigins`; others are stopped before they are sent.
void prepareBridgeExtension(WebKitWebContext* context, const std::string& handlerName,
                            const std::vector<std::string>& trustedOrigins);

// Deliver each post of the view's pages that `accepts` lets through, on the main thread.
void connectBridge(WebKitWebView* view, BridgeSenderCheck accepts, std::function<void(const BridgePost&)> onPost);

// What the extension is started with (floating): the handler name, and the origins main-frame documents
// may be requested from.
GVariant* bridgeExtensionStartupData(const std::string& handlerName, const std::vector<std::string>& trustedOrigins);

} // namespace corvane::gtk
