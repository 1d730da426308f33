#include "engine/quirks/SwipeGate.hpp"

namespace corvane::gtk {

namespace {

bool canSwipe(GdkSeat* seat) {
    GList* devices = gdk_seat_get_devices(seat, GDK_SEAT_CAPABILITY_ALL);
    bool found = false;
    for (GList* d = devices; d && !found; d = d->next) {
        const GdkInputSource source = gdk_device_get_source(GDK_DEVICE(d->data));
        found = source == GDK_SOURCE_TOUCHPAD || source == GDK_SOURCE_TOUCHSCREEN;
    }
    g_list_free(devices);
    return found;
}

// Nothing happens, and the key goes on to the page, when there is nowhere to go.
bool step(WebKitWebView* view, bool back) {
    if (back ? !webkit_web_view_can_go_back(view) : !webkit_web_view_can_go_forward(view)) return false;
    if (back) webkit_web_view_go_back(view);
    else webkit_web_view_go_forward(view);
    return true;
}

gboolean goBack(GtkWidget*, GVariant*, gpointer view) { return step(WEBKIT_WEB_VIEW(view), true); }

gboolean goForward(GtkWidget*, GVariant*, gpointer view) { return step(WEBKIT_WEB_VIEW(view), false); }

} // namespace

void addHistoryControls(GtkWindow* window, WebKitWebView* view) {
    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    const struct {
        guint key;
        GdkModifierType mods;
        GtkShortcutFunc go;
    } bindings[] = {{GDK_KEY_Left, GDK_ALT_MASK, goBack},
                    {GDK_KEY_Right, GDK_ALT_MASK, goForward},
                    {GDK_KEY_Back, GdkModifierType(0), goBack},
                    {GDK_KEY_Forward, GdkModifierType(0), goForward}};
    for (const auto& b : bindings)
        gtk_shortcut_controller_add_shortcut(
            GTK_SHORTCUT_CONTROLLER(keys),
            gtk_shortcut_new(gtk_keyval_trigger_new(b.key, b.mods), gtk_callback_action_new(b.go, view, nullptr)));
    gtk_widget_add_controller(GTK_WIDGET(window), keys);

    GtkGesture* buttons = gtk_gesture_click_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(buttons), 0);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(buttons), GTK_PHASE_CAPTURE);
    g_signal_connect(buttons, "pressed", G_CALLBACK(+[](GtkGestureClick* gesture, int, double, double, gpointer v) {
                         const guint button = gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture));
                         if (button != 8 && button != 9) {
                             gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
                             return;
                         }
                         step(WEBKIT_WEB_VIEW(v), button == 8);
                         gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
                     }),
                     view);
    gtk_widget_add_controller(GTK_WIDGET(window), GTK_EVENT_CONTROLLER(buttons));
}

SwipeGate::SwipeGate(WebKitSettings* settings) : settings_(GObjectRef<WebKitSettings>::ref(settings)) {
    if (GdkDisplay* display = gdk_display_get_default())
        seat_ = GObjectRef<GdkSeat>::ref(gdk_display_get_default_seat(display));
    if (seat_) {
        auto changed = +[](GdkSeat*, GdkDevice*, gpointer self) { static_cast<SwipeGate*>(self)->update(); };
        g_signal_connect(seat_, "device-added", G_CALLBACK(changed), this);
        g_signal_connect(seat_, "device-removed", G_CALLBACK(changed), this);
    }
    update();
}

SwipeGate::~SwipeGate() {
    if (seat_) g_signal_handlers_disconnect_by_data(seat_.get(), this);
}

void SwipeGate::update() {
    webkit_settings_set_enable_back_forward_navigation_gestures(settings_, seat_ && canSwipe(seat_));
}

} // namespace corvane::gtk
