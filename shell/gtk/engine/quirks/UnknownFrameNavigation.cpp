#include "engine/quirks/UnknownFrameNavigation.hpp"

#include "wire/BridgeWire.hpp"

namespace corvane::gtk {

namespace {

using StoppedHandler = std::function<void(const std::string&)>;

gboolean onStoppedMessage(WebKitWebContext*, WebKitUserMessage* message, gpointer userData) {
    if (g_strcmp0(webkit_user_message_get_name(message), wire::kStoppedMessageName) != 0) return FALSE;
    GVariant* parameters = webkit_user_message_get_parameters(message);
    if (parameters && g_variant_is_of_type(parameters, G_VARIANT_TYPE_STRING))
        (*static_cast<StoppedHandler*>(userData))(g_variant_get_string(parameters, nullptr));
    return TRUE;
}

std::string originOf(const char* uri) {
    if (!uri) return {};
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(uri);
    if (!origin) return {};
    char* text = webkit_security_origin_to_string(origin);
    std::string out = text ? text : "";
    g_free(text);
    webkit_security_origin_unref(origin);
    return out;
}

} // namespace

gulong connectStoppedMainFrameRequests(WebKitWebContext* context, StoppedHandler onStopped) {
    return g_signal_connect_data(
        context, "user-message-received", G_CALLBACK(onStoppedMessage), new StoppedHandler(std::move(onStopped)),
        [](gpointer data, GClosure*) { delete static_cast<StoppedHandler*>(data); }, GConnectFlags(0));
}

void CommittedOrigin::loadChanged(WebKitWebView* view, WebKitLoadEvent event) {
    if (event == WEBKIT_LOAD_COMMITTED) origin_ = originOf(webkit_web_view_get_uri(view));
}

} // namespace corvane::gtk
