#pragma once

#include <webkit/webkit.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// Works around: WebKitGTK has no call that opens a connection or starts a web process ahead of a page.
// It opens the connection when a view is asked to load, and a web process with the view; the main view
// exists only once the window is being built, and its connection is then set up (name lookup, TCP, TLS)
// while the first request waits. So at start-up a hidden view asks for the service's address: the engine
// connects at once and starts a web process. Its navigation is refused before any request is sent, so
// the service sees nothing; the main view is created as its related view and takes over that web
// process, and the hidden view goes. Can go once the engine can warm up on request.
class EngineWarmUp {
public:
    EngineWarmUp(WebKitWebContext* context, WebKitNetworkSession* session, const char* serviceURL);
    ~EngineWarmUp();
    EngineWarmUp(const EngineWarmUp&) = delete;
    EngineWarmUp& operator=(const EngineWarmUp&) = delete;

    // The hidden view, for the main view's "related-view".
    WebKitWebView* view() const { return view_; }

private:
    GObjectRef<WebKitWebView> view_;
};

} // namespace corvane::gtk
