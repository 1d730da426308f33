#include "TitlebarDragView.hpp"

#include <cstring>

namespace corvane::gtk {

DoubleClickAction doubleClickAction(const char* setting) {
    if (setting && std::strcmp(setting, "minimize") == 0) return DoubleClickAction::minimize;
    if (setting && std::strcmp(setting, "none") == 0) return DoubleClickAction::none;
    return DoubleClickAction::toggleMaximize;
}

namespace {

void onPressed(GtkGestureClick* gesture, int presses, double x, double y, gpointer) {
    GtkWidget* strip = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(gesture));
    auto* window = GTK_WINDOW(gtk_widget_get_root(strip));
    if (!window) return;
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
    if (presses == 2) {
        gchar* setting = nullptr;
        g_object_get(gtk_widget_get_settings(strip), "gtk-titlebar-double-click", &setting, nullptr);
        const DoubleClickAction action = doubleClickAction(setting);
        g_free(setting);
        if (action == DoubleClickAction::minimize) gtk_window_minimize(window);
        else if (action == DoubleClickAction::toggleMaximize) {
            if (gtk_window_is_maximized(window)) gtk_window_unmaximize(window);
            else gtk_window_maximize(window);
        }
        return;
    }
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window));
    GdkEvent* event = gtk_event_controller_get_current_event(GTK_EVENT_CONTROLLER(gesture));
    if (!GDK_IS_TOPLEVEL(surface) || !event) return;
    double wx = x, wy = y;
    graphene_point_t in{static_cast<float>(x), static_cast<float>(y)}, out;
    if (gtk_widget_compute_point(strip, GTK_WIDGET(window), &in, &out)) {
        wx = out.x;
        wy = out.y;
    }
    gdk_toplevel_begin_move(GDK_TOPLEVEL(surface), gdk_event_get_device(event),
                            static_cast<int>(gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture))), wx, wy,
                            gdk_event_get_time(event));
}

} // namespace

GtkWidget* titlebarDragViewNew() {
    GtkWidget* strip = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_name(strip, "titlebar-drag-view");
    gtk_widget_set_size_request(strip, -1, 28);
    gtk_widget_set_overflow(strip, GTK_OVERFLOW_HIDDEN);
    gtk_widget_set_valign(strip, GTK_ALIGN_START);
    gtk_widget_set_hexpand(strip, TRUE);
    GtkGesture* click = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(click), GDK_BUTTON_PRIMARY);
    g_signal_connect(click, "pressed", G_CALLBACK(onPressed), nullptr);
    gtk_widget_add_controller(strip, GTK_EVENT_CONTROLLER(click));
    return strip;
}

} // namespace corvane::gtk
