#pragma once

#include <gtk/gtk.h>

namespace corvane::gtk {

// The application, which as a second launch also hands the launch's token to the running one (this GTK
// does not).
GtkApplication* newApplication(const char* id, GApplicationFlags flags);

} // namespace corvane::gtk
