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

} // namespace

gulong connectStoppedMainFrameRequests(WebKitWebContext* context, StoppedHandler onStopped) {
    return g_signal_connect_data(
        context, "user-message-received", G_CALLBACK(onStoppedMessage), new StoppedHandler(std::move(onStopped)),
        [](gpointer data, GClosure*) { delete static_cast<StoppedHandler*>(data); }, GConnectFlags(0));
}

} // namespace corvane::gtk
