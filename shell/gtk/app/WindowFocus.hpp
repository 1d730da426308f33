// Bringing the window forward, on displays with a keyboard and on compositors without any seat.
#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// gtk_window_present, except where it could only complain: a window already shown, on a display with no
// seat, with no activation token from a launch or a notice to hand to the compositor.
void bringForward(GtkWindow* window);

// The launch's activation token: XDG_ACTIVATION_TOKEN from a Wayland launcher, else DESKTOP_STARTUP_ID. Taken
// out of the environment, so that no program the app starts later spends it. Call first thing in main().
void adoptActivationToken();

// Hands the launch's token to a Wayland display, which this GTK leaves without one when it came as
// XDG_ACTIVATION_TOKEN.
void applyLaunchToken(GdkDisplay* display);

// The application, which as a second launch also hands the launch's token to the running one (this GTK
// does not).
GtkApplication* newApplication(const char* id, GApplicationFlags flags);

// The engine reads the keyboard's modifier state whenever its window turns active, without checking that
// the display has a seat; on a compositor without one GDK logs a critical for that read, and only that one
// is dropped.
void quietSeatlessKeyboardReads();

} // namespace corvane::gtk
