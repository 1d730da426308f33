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
#if CORVANE_ADW_DIALOGS
    // Outside an Adwaita window the dialog gets a window of its own, transient for the parent's.
    if (openAbout) {
        adw_dialog_present(ADW_DIALOG(openAbout), GTK_WIDGET(parent));
        return;
    }
    auto* about = ADW_ABOUT_DIALOG(adw_about_dialog_new());
    adw_about_dialog_set_application_icon(about, kAppIconName);
    adw_about_dialog_set_application_name(about, "Corvane");
    adw_about_dialog_set_version(about, version.c_str());
    adw_about_dialog_set_comments(about, "Your farm's records, on the desktop.");
    adw_about_dialog_set_website(about, website.c_str());
    adw_about_dialog_set_support_url(about, support.c_str());
    adw_about_dialog_set_copyright(about, "© 2026 Corvane");
    adw_about_dialog_set_license_type(about, GTK_LICENSE_CUSTOM);
    adw_about_dialog_set_license(about, "Corvane is proprietary software. All rights reserved.");
    openAbout = GTK_WIDGET(about);
    g_object_add_weak_pointer(G_OBJECT(about), reinterpret_cast<gpointer*>(&openAbout));
    adw_dialog_present(ADW_DIALOG(about), GTK_WIDGET(parent));
#else
    if (openAbout) {
        gtk_window_present(GTK_WINDOW(openAbout));
        return;
    }
    auto* about = ADW_ABOUT_WINDOW(adw_about_window_new());
    adw_about_window_set_application_icon(about, kAppIconName);
    adw_about_window_set_application_name(about, "Corvane");
    adw_about_window_set_version(about, version.c_str());
    adw_about_window_set_comments(about, "Your farm's records, on the desktop.");
    adw_about_window_set_website(about, website.c_str());
    adw_about_window_set_support_url(about, support.c_str());
    adw_about_window_set_copyright(about, "© 2026 Corvane");
    adw_about_window_set_license_type(about, GTK_LICENSE_CUSTOM);
    adw_about_window_set_license(about, "Corvane is proprietary software. All rights reserved.");
    if (parent) {
        gtk_window_set_transient_for(GTK_WINDOW(about), parent);
        gtk_window_set_destroy_with_parent(GTK_WINDOW(about), TRUE);
    }
    nameButtons(GTK_WIDGET(about));
    openAbout = GTK_WIDGET(about);
    g_object_add_weak_pointer(G_OBJECT(about), reinterpret_cast<gpointer*>(&openAbout));
    gtk_window_present(GTK_WINDOW(about));
#endif
}

} // namespace corvane::gtk
