// Bringing the window forward, on displays with a keyboard and on compositors without any seat.
#include "app/WindowFocus.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/wayland/gdkwayland.h>
#endif

namespace corvane::gtk {

namespace {

bool seatless(GdkDisplay* display) { return display && !gdk_display_get_default_seat(display); }

void dropSeatlessKeyboardRead(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (message && g_str_equal(message, "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed") &&
        seatless(gdk_display_get_default()))
        return;
    g_log_default_handler(domain, level, message, nullptr);
}

struct TokenApplication {
    GtkApplication parent;
};
struct TokenApplicationClass {
    GtkApplicationClass parent;
};
G_DEFINE_TYPE(TokenApplication, token_application, GTK_TYPE_APPLICATION)

// Read at the start: the environment has lost it by the time GApplication asks.
std::string& launchToken() {
    static std::string token;
    return token;
}

// GTK takes DESKTOP_STARTUP_ID out of the environment as it loads, before main(); the process's initial
// environment still has it.
std::string initialStartupId() {
    gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents("/proc/self/environ", &text, &length, nullptr)) return {};
    std::string found;
    constexpr std::string_view key = "DESKTOP_STARTUP_ID=";
    for (std::string_view rest(text, length); !rest.empty();) {
        const std::string_view entry = rest.substr(0, rest.find('\0'));
        if (entry.substr(0, key.size()) == key) found = entry.substr(key.size());
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    }
    g_free(text);
    return found;
}

void addToken(GApplication* application, GVariantBuilder* builder) {
    G_APPLICATION_CLASS(token_application_parent_class)->add_platform_data(application, builder);
    const std::string& token = launchToken();
    if (token.empty() || !g_utf8_validate(token.c_str(), -1, nullptr)) return;
    g_variant_builder_add(builder, "{sv}", "desktop-startup-id", g_variant_new_string(token.c_str()));
    g_variant_builder_add(builder, "{sv}", "activation-token", g_variant_new_string(token.c_str()));
}

void token_application_class_init(TokenApplicationClass* klass) {
    G_APPLICATION_CLASS(klass)->add_platform_data = addToken;
}

void token_application_init(TokenApplication*) {}

// GTK 4.10 deprecated reading the display's startup id without a replacement; it is still the id
// GTK spends on the next present.
const char* displayStartupId(GdkDisplay* display) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    return gdk_display_get_startup_notification_id(display);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

} // namespace

GtkApplication* newApplication(const char* id, GApplicationFlags flags) {
    return GTK_APPLICATION(g_object_new(token_application_get_type(), "application-id", id, "flags", flags, nullptr));
}

void bringForward(GtkWindow* window) {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    // GTK would ask the missing keyboard for a focus token; without a seat nothing can take focus anyway.
    if (gtk_widget_get_visible(GTK_WIDGET(window)) && seatless(display) && !displayStartupId(display)) return;
    gtk_window_present(window);
}

void adoptActivationToken() {
    const char* token = g_getenv("XDG_ACTIVATION_TOKEN");
    launchToken() = token && *token ? std::string(token) : initialStartupId();
    g_unsetenv("XDG_ACTIVATION_TOKEN");
}

void applyLaunchToken(GdkDisplay* display) {
#ifdef GDK_WINDOWING_WAYLAND
    // A first launch: its window's first request to come forward spends the launcher's token.
    if (GDK_IS_WAYLAND_DISPLAY(display) && !launchToken().empty() && !displayStartupId(display)) {
        // The toplevel's own setter needs a surface, and there is none yet: the display's id is what the
        // first present spends.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gdk_wayland_display_set_startup_notification_id(display, launchToken().c_str());
        G_GNUC_END_IGNORE_DEPRECATIONS
    }
#else
    (void)display;
#endif
}

void quietSeatlessKeyboardReads() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    g_log_set_handler("Gdk", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                      dropSeatlessKeyboardRead, nullptr);
}

} // namespace corvane::gtk
