#pragma once

#include <optional>
#include <string>

#include "MainWindow.hpp"
#include "Url.hpp"
#include "WebView.hpp"

namespace corvane::shell {

// What the shell needs of the application and the desktop around it.
class Desktop {
public:
    virtual ~Desktop() = default;
    virtual WebView& createWebView(const WebViewSpec& spec) = 0;
    // The window shows `web` filling it, under the drag strip.
    virtual MainWindow& createMainWindow(const WindowSpec& spec, WebView& web) = 0;
    // The label on the launcher icon; none removes it.
    virtual void setBadge(const std::optional<std::string>& label) = 0;
    // With the user's default handler; failures are not reported.
    virtual void openExternal(const core::Url& url) = 0;
    virtual void activate() = 0;
    // The one answer to a quit that was answered "later".
    virtual void replyToTerminate() = 0;
};

} // namespace corvane::shell
