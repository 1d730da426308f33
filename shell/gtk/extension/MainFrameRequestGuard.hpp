#pragma once

#include <webkit/webkit-web-process-extension.h>

#include "extension/TrustedOrigins.hpp"

namespace corvane::gtk::extension {

// Works around: WebKitGTK's navigation-action decision names no target frame, so the UI process cannot
// tell a frame loading another site (allowed) from the page leaving for it (handed to the browser) until
// the response arrives, after the request has reached the other server. Here, before it is sent, the
// request says which it is (Sec-Fetch-Dest): a main-frame document from outside `trusted` is stopped and
// the UI process told, so it can hand the address on. The other parts: UnknownFrameNavigation in the GTK
// backend (receives the notice) and UnsettledNavigations in the shell (settles what the action stage
// could not). Can go once the navigation action says whether it is for the main frame.
void guardMainFrameRequests(WebKitWebProcessExtension* extension, const TrustedOrigins& trusted);

} // namespace corvane::gtk::extension
