// Calls whose names changed between the oldest GTK and libadwaita we build against (4.8, 1.2) and the
// newest: the newer name where the version has it, so the strict build stays free of deprecations.
#pragma once

#include <string>

#include <adwaita.h>
#include <gtk/gtk.h>

// AdwAlertDialog and AdwAboutDialog replace AdwMessageDialog and AdwAboutWindow from libadwaita 1.5.
#define CORVANE_ADW_DIALOGS ADW_CHECK_VERSION(1, 5, 0)

namespace corvane::gtk {

inline void loadCss(GtkCssProvider* provider, const std::string& css) {
#if GTK_CHECK_VERSION(4, 12, 0)
    gtk_css_provider_load_from_string(provider, css.c_str());
#else
    gtk_css_provider_load_from_data(provider, css.c_str(), static_cast<gssize>(css.size()));
#endif
}

// GTK 4.10 deprecated reading the display's startup id without a replacement; it is still the id GTK
// spends on the next present.
inline const char* displayStartupId(GdkDisplay* display) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    return gdk_display_get_startup_notification_id(display);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

} // namespace corvane::gtk
