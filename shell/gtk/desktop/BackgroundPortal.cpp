#include "desktop/BackgroundPortal.hpp"

#include <string>

namespace corvane::gtk {

namespace {

constexpr const char* kPortal = "org.freedesktop.portal.Desktop";
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kToken = "corvane_background";

// Where the portal will answer: it names the request after our bus name and the token we give it.
std::string requestPath(GDBusConnection* bus) {
    std::string sender = g_dbus_connection_get_unique_name(bus) ? g_dbus_connection_get_unique_name(bus) : "";
    if (!sender.empty() && sender[0] == ':') sender.erase(0, 1);
    for (char& c : sender)
        if (c == '.') c = '_';
    return std::string(kPath) + "/request/" + sender + "/" + kToken;
}

} // namespace

BackgroundPortal::BackgroundPortal(GDBusConnection* bus, std::function<void()> refused)
    : bus_(GObjectRef<GDBusConnection>::ref(bus)), refused_(std::move(refused)), cancellable_(g_cancellable_new()) {}

BackgroundPortal::~BackgroundPortal() {
    g_cancellable_cancel(cancellable_);
    forget();
}

void BackgroundPortal::forget() {
    if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    subscription_ = 0;
}

void BackgroundPortal::listen(const char* path) {
    forget();
    subscription_ =
        g_dbus_connection_signal_subscribe(bus_, kPortal, "org.freedesktop.portal.Request", "Response", path, nullptr,
                                           G_DBUS_SIGNAL_FLAGS_NONE, onResponse, this, nullptr);
}

void BackgroundPortal::request() {
    if (asked_ || !bus_) return;
    asked_ = true;
    // Subscribed before asking, so an answer that comes at once is not missed.
    const std::string path = requestPath(bus_);
    listen(path.c_str());
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(kToken));
    g_variant_builder_add(&options, "{sv}", "reason",
                          g_variant_new_string("Corvane keeps running with its window closed, so that reminders "
                                               "from your farm still arrive."));
    g_variant_builder_add(&options, "{sv}", "autostart", g_variant_new_boolean(FALSE));
    g_variant_builder_add(&options, "{sv}", "dbus-activatable", g_variant_new_boolean(FALSE));
    // No parent window: the window has just been closed.
    g_dbus_connection_call(bus_, kPortal, kPath, "org.freedesktop.portal.Background", "RequestBackground",
                           g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1,
                           cancellable_, onCalled, this);
}

void BackgroundPortal::onCalled(GObject* source, GAsyncResult* result, gpointer data) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply) {
        // Older portals ignore the token and name the request themselves.
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        auto* self = static_cast<BackgroundPortal*>(data);
        if (self->subscription_ && requestPath(self->bus_) != path) self->listen(path);
        return;
    }
    // No portal, or no Background in it: the window just stays hidden. Cancelled means we are gone.
    if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) static_cast<BackgroundPortal*>(data)->forget();
}

void BackgroundPortal::onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                                  GVariant* parameters, gpointer data) {
    auto* self = static_cast<BackgroundPortal*>(data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) return;
    self->forget();
    guint32 response = 2;
    g_autoptr(GVariant) results = nullptr;
    g_variant_get(parameters, "(u@a{sv})", &response, &results);
    gboolean background = TRUE;
    const bool answered = g_variant_lookup(results, "background", "b", &background);
    // Only a plain "no" counts; a dismissed or failed request leaves things as they are.
    if (response == 0 && answered && !background && self->refused_) self->refused_();
}

} // namespace corvane::gtk
