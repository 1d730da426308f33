#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// gtk_window_present, except where it could only complain: a window already shown, on a display with no
// seat, with no activation token from a launch or a notice to hand to the compositor.
void bringForward(GtkWindow* window);

} // namespace corvane::gtk
