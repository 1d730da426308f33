#include "engine/quirks/SeatlessKeyboard.hpp"

namespace corvane::gtk {

namespace {

void dropSeatlessKeyboardRead(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
    if (message && g_str_equal(message, "gdk_seat_get_keyboard: assertion 'GDK_IS_SEAT (seat)' failed") &&
        seatless(gdk_display_get_default()))
        return;
    g_log_default_handler(domain, level, message, nullptr);
}

} // namespace

bool seatless(GdkDisplay* display) { return display && !gdk_display_get_default_seat(display); }

void quietSeatlessKeyboardReads() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    g_log_set_handler("Gdk", GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                      dropSeatlessKeyboardRead, nullptr);
}

} // namespace corvane::gtk
