#include "window/BringForward.hpp"

#include "engine/quirks/SeatlessKeyboard.hpp"
#include "toolkit/GtkCompat.hpp"

namespace corvane::gtk {

void bringForward(GtkWindow* window) {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    // GTK would ask the missing keyboard for a focus token; without a seat nothing can take focus anyway.
    if (gtk_widget_get_visible(GTK_WIDGET(window)) && seatless(display) && !displayStartupId(display)) return;
    gtk_window_present(window);
}

} // namespace corvane::gtk
