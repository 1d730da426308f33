// The app's icon and its About window.
#include "dialogs/About.hpp"

#include <adwaita.h>

#include "BuildConfig.hpp"
#include "toolkit/Accessible.hpp"
#include "toolkit/GtkCompat.hpp"

namespace corvane::gtk {

namespace {

GtkWidget* openAbout = nullptr;

#ifdef CORVANE_ICON_THEME_DIR
bool themeHasIcon() {
    GdkDisplay* display = gdk_display_get_default();
    return display && gtk_icon_theme_has_icon(gtk_icon_theme_get_for_display(display), kAppIconName);
}
#endif

} // namespace

std::string appIconDirectory() {
    // Decided once, before our own folder joins the theme's search path.
#ifdef CORVANE_ICON_THEME_DIR
    static const std::string dir = themeHasIcon() ? "" : CORVANE_ICON_THEME_DIR;
    return dir;
#else
    return {};
#endif
}

void prepareWindows() {
    static bool prepared = false;
    GdkDisplay* display = gdk_display_get_default();
    if (prepared || !display) return;
    prepared = true;
    adw_init();
    if (const std::string dir = appIconDirectory(); !dir.empty())
        gtk_icon_theme_add_search_path(gtk_icon_theme_get_for_display(display), dir.c_str());
    gtk_window_set_default_icon_name(kAppIconName);
}

void showAbout(GtkWindow* parent) {
    const std::string version(core::build::version);
    const std::string website(core::build::baseURL);
    const std::string support = "mailto:" + std::string(core::build::supportEmail);
    if (!openAbout) {
        // libadwaita 1.5's dialog and the older window share these properties.
#if CORVANE_ADW_DIALOGS
        const GType type = ADW_TYPE_ABOUT_DIALOG;
#else
        const GType type = ADW_TYPE_ABOUT_WINDOW;
#endif
        GtkWidget* about = GTK_WIDGET(g_object_new(
            type, "application-icon", kAppIconName, "application-name", "Corvane", "version", version.c_str(),
            "comments", "Your farm's records, on the desktop.", "website", website.c_str(), "support-url",
            support.c_str(), "copyright", "© 2026 Corvane", "license-type", GTK_LICENSE_CUSTOM, "license",
            "Corvane is proprietary software. All rights reserved.", nullptr));
#if !CORVANE_ADW_DIALOGS
        if (parent) {
            gtk_window_set_transient_for(GTK_WINDOW(about), parent);
            gtk_window_set_destroy_with_parent(GTK_WINDOW(about), TRUE);
        }
        nameButtons(about);
#endif
        openAbout = about;
        g_object_add_weak_pointer(G_OBJECT(about), reinterpret_cast<gpointer*>(&openAbout));
    }
#if CORVANE_ADW_DIALOGS
    // Outside an Adwaita window the dialog gets a window of its own, transient for the parent's.
    adw_dialog_present(ADW_DIALOG(openAbout), GTK_WIDGET(parent));
#else
    gtk_window_present(GTK_WINDOW(openAbout));
#endif
}

} // namespace corvane::gtk
