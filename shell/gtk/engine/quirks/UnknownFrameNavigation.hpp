#pragma once

#include <webkit/webkit.h>

#include <functional>
#include <string>

#include "ports/WebEvents.hpp"

namespace corvane::gtk {

// Works around: WebKitGTK's UI-process API does not say which frame a navigation is for. The
// navigation-action decision carries no main-frame flag, yet the rules differ by frame. Every action goes
// to the shell with an unknown frame; the shell decides where both readings agree and otherwise settles it
// later (UnsettledNavigations): at the response, which does name the main frame, at a provisional failure,
// or when the web process extension stopped a main-frame request to another site before it was sent
// (MainFrameRequestGuard), a notice received here. Can go once the navigation action says whether it is
// for the main frame.

// Each main-frame request to another origin that the extension stopped before it left, with its address.
// The notices come through the context; the returned handler is the caller's to disconnect.
gulong connectStoppedMainFrameRequests(WebKitWebContext* context,
                                       std::function<void(const std::string& uri)> onStopped);

} // namespace corvane::gtk
