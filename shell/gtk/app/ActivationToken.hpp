// The launch's activation token, which the desktop hands a program so that its first window may come forward.
#pragma once

#include <string>

#include <gtk/gtk.h>

namespace corvane::gtk {

// XDG_ACTIVATION_TOKEN from a Wayland launcher, else DESKTOP_STARTUP_ID. Taken out of the environment, so
// that no program the app starts later spends it. Call first thing in main().
void adoptActivationToken();

// The token adopted at start; empty without one.
const std::string& activationToken();

// Hands the launch's token to a Wayland display, which this GTK leaves without one when it came as
// XDG_ACTIVATION_TOKEN.
void applyLaunchToken(GdkDisplay* display);

} // namespace corvane::gtk
