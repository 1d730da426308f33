#include "app/ActivationToken.hpp"

#include "toolkit/GtkCompat.hpp"

#include <algorithm>
#include <string_view>

#ifdef GDK_WINDOWING_WAYLAND
#include <gdk/wayland/gdkwayland.h>
#endif

namespace corvane::gtk {

namespace {

// Read at the start: the environment has lost it by the time GApplication asks.
std::string& launchToken() {
    static std::string token;
    return token;
}

// GTK takes DESKTOP_STARTUP_ID out of the environment as it loads, before main(); the process's initial
// environment still has it.
std::string initialStartupId() {
    g_autofree gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents("/proc/self/environ", &text, &length, nullptr)) return {};
    std::string found;
    constexpr std::string_view key = "DESKTOP_STARTUP_ID=";
    for (std::string_view rest(text, length); !rest.empty();) {
        const std::string_view entry = rest.substr(0, rest.find('\0'));
        if (entry.substr(0, key.size()) == key) found = entry.substr(key.size());
        rest.remove_prefix(std::min(rest.size(), entry.size() + 1));
    }
    return found;
}

} // namespace

void adoptActivationToken() {
    const char* token = g_getenv("XDG_ACTIVATION_TOKEN");
    launchToken() = token && *token ? std::string(token) : initialStartupId();
    g_unsetenv("XDG_ACTIVATION_TOKEN");
}

const std::string& activationToken() { return launchToken(); }

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

} // namespace corvane::gtk
