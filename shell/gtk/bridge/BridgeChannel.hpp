#pragma once

#include <webkit/webkit.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <string>

namespace corvane::gtk {

struct BridgePost {
    nlohmann::json body;
    bool mainFrame;
    std::string origin;
    bool currentWindow;
};

// Point the web context at the extension; call before the first web view is created.
void prepareBridgeExtension(WebKitWebContext* context, const std::string& handlerName);

// Deliver each post of the view's pages on the main thread.
void connectBridge(WebKitWebView* view, std::function<void(const BridgePost&)> onPost);

} // namespace corvane::gtk
