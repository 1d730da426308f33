#pragma once

#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"

namespace corvane::gtk {

// The engine's page requests (downloads, file inputs, script dialogs, media permission) handed to the delegate.
void connectPageRequests(WebKitWebView* view, WebKitNetworkSession* session, const DelegateHandle& delegate);

} // namespace corvane::gtk
