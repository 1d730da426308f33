#include "SwipeGate.hpp"

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

} // namespace

SwipeGate::SwipeGate(WebKitSettings* settings) : settings_(WEBKIT_SETTINGS(g_object_ref(settings))) {
    if (GdkDisplay* display = gdk_display_get_default()) seat_ = gdk_display_get_default_seat(display);
    if (seat_) {
        g_object_ref(seat_);
        auto changed = +[](GdkSeat*, GdkDevice*, gpointer self) { static_cast<SwipeGate*>(self)->update(); };
        g_signal_connect(seat_, "device-added", G_CALLBACK(changed), this);
        g_signal_connect(seat_, "device-removed", G_CALLBACK(changed), this);
    }
    update();
}

SwipeGate::~SwipeGate() {
    if (seat_) {
        g_signal_handlers_disconnect_by_data(seat_, this);
        g_object_unref(seat_);
    }
    g_object_unref(settings_);
}

void SwipeGate::update() {
    webkit_settings_set_enable_back_forward_navigation_gestures(settings_, seat_ && canSwipe(seat_));
}

} // namespace corvane::gtk
