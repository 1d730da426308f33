#pragma once

#include <string>

#include <webkit/webkit.h>

namespace corvane::gtk {

// Works around: WebKitGTK does not say which document is in the main frame. The view's URI moves on as
// soon as a load starts, while the old document still runs and may still ask for things; its origin is
// taken when a load commits. Can go once requests name the document that made them.
class CommittedOrigin {
public:
    void loadChanged(WebKitWebView* view, WebKitLoadEvent event);
    const std::string& get() const { return origin_; }

private:
    std::string origin_;
};

} // namespace corvane::gtk
