// Bringing the window forward, on displays with a keyboard and on compositors without any seat.
#include "WindowFocus.hpp"

namespace corvane::gtk {

namespace {

bool seatless(GdkDisplay* display) { return display && !gdk_display_get_default_seat(display); }

void dropSeatlessKeyboardRead(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (message && g_str_equal(message, "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed") &&
        seatless(gdk_display_get_default()))
        return;
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

void bringForward(GtkWindow* window) {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    // GTK would ask the missing keyboard for a focus token; without a seat nothing can take focus anyway.
    if (gtk_widget_get_visible(GTK_WIDGET(window)) && seatless(display) &&
        !gdk_display_get_startup_notification_id(display))
        return;
    gtk_window_present(window);
}

void quietSeatlessKeyboardReads() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    g_log_set_handler("Gdk", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                      dropSeatlessKeyboardRead, nullptr);
}

} // namespace corvane::gtk
