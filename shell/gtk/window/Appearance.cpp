#include "window/Appearance.hpp"

#include <adwaita.h>

namespace corvane::gtk {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kInterface = "org.freedesktop.portal.Settings";
constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";

// The older Read wraps the value in one variant too many; ReadOne and SettingChanged do not.
bool prefersDark(GVariant* value) {
    GVariant* inner = g_variant_ref(value);
    while (g_variant_is_of_type(inner, G_VARIANT_TYPE_VARIANT)) {
        GVariant* next = g_variant_get_variant(inner);
        g_variant_unref(inner);
        inner = next;
    }
    guint32 scheme = 0;
    if (g_variant_is_of_type(inner, G_VARIANT_TYPE_UINT32)) scheme = g_variant_get_uint32(inner);
    else if (g_variant_is_of_type(inner, G_VARIANT_TYPE_INT32))
        scheme = static_cast<guint32>(g_variant_get_int32(inner));
    g_variant_unref(inner);
    return scheme == 1; // 0 no preference, 1 prefer dark, 2 prefer light
}

bool isUnknownMethod(const GError* error) {
    g_autofree gchar* remote = g_dbus_error_get_remote_error(error);
    return g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD) ||
           (remote && g_str_equal(remote, "org.freedesktop.DBus.Error.UnknownMethod"));
}

GVariant* readSync(GDBusConnection* bus, const char* method, GError** error) {
    // Only a portal that is already running: starting one may take seconds, so that is left to the
    // asynchronous read.
    return g_dbus_connection_call_sync(bus, kPortal, kPath, kInterface, method, g_variant_new("(ss)", kNamespace, kKey),
                                       nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 500, nullptr, error);
}

} // namespace

Appearance::Appearance(std::function<void(bool)> changed) : changed_(std::move(changed)) {
    bus_.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus_) {
        apply(false);
        return;
    }
    subscription_ = g_dbus_connection_signal_subscribe(bus_, kPortal, kInterface, "SettingChanged", kPath, kNamespace,
                                                       G_DBUS_SIGNAL_FLAGS_NONE, onSettingChanged, this, nullptr);
    // Read before the window first draws, so a dark desktop never sees a light frame.
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = readSync(bus_, "ReadOne", &error);
    if (!reply && isUnknownMethod(error)) {
        g_clear_error(&error);
        reply = readSync(bus_, "Read", &error);
    }
    if (reply) {
        g_autoptr(GVariant) value = g_variant_get_child_value(reply, 0);
        apply(prefersDark(value));
        return;
    }
    apply(false);
    cancellable_.reset(g_cancellable_new());
    readAsync("ReadOne", true);
}

Appearance::~Appearance() {
    if (cancellable_) g_cancellable_cancel(cancellable_);
    if (bus_ && subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
}

void Appearance::apply(bool dark) {
    dark_ = dark;
    // The style manager passes the choice on to GTK's settings, which the page's engine follows.
    if (gdk_display_get_default())
        adw_style_manager_set_color_scheme(adw_style_manager_get_default(),
                                           dark ? ADW_COLOR_SCHEME_FORCE_DARK : ADW_COLOR_SCHEME_FORCE_LIGHT);
    if (changed_) changed_(dark);
}

void Appearance::readAsync(const char* method, bool autoStart) {
    g_dbus_connection_call(bus_, kPortal, kPath, kInterface, method, g_variant_new("(ss)", kNamespace, kKey), nullptr,
                           autoStart ? G_DBUS_CALL_FLAGS_NONE : G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, cancellable_,
                           g_str_equal(method, "ReadOne") ? onReadOne : onRead, this);
}

void Appearance::onReadOne(GObject* source, GAsyncResult* result, gpointer data) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply && isUnknownMethod(error)) {
        static_cast<Appearance*>(data)->readAsync("Read", false);
        return;
    }
    finishRead(reply, data);
}

void Appearance::onRead(GObject* source, GAsyncResult* result, gpointer data) {
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
    finishRead(reply, data);
}

void Appearance::finishRead(GVariant* reply, gpointer data) {
    // None: cancelled, so the object is gone, or failed, which leaves the light default.
    if (!reply) return;
    g_autoptr(GVariant) value = g_variant_get_child_value(reply, 0);
    static_cast<Appearance*>(data)->follow(prefersDark(value));
}

void Appearance::onSettingChanged(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer data) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) return;
    const gchar* ns = nullptr;
    const gchar* key = nullptr;
    g_autoptr(GVariant) value = nullptr;
    g_variant_get(parameters, "(&s&sv)", &ns, &key, &value);
    if (g_str_equal(ns, kNamespace) && g_str_equal(key, kKey))
        static_cast<Appearance*>(data)->follow(prefersDark(value));
}

void Appearance::follow(bool dark) {
    if (dark != dark_) apply(dark);
}

} // namespace corvane::gtk
