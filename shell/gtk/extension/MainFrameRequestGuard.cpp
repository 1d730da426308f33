#include "extension/MainFrameRequestGuard.hpp"

#include "wire/BridgeWire.hpp"

namespace corvane::gtk::extension {

namespace {

struct Guard {
    WebKitWebProcessExtension* extension;
    const TrustedOrigins& trusted;
};

gboolean onSendRequest(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer userData) {
    const auto* guard = static_cast<const Guard*>(userData);
    SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
    const char* destination = headers ? soup_message_headers_get_one(headers, "Sec-Fetch-Dest") : nullptr;
    const char* uri = webkit_uri_request_get_uri(request);
    if (!uri || g_strcmp0(destination, "document") != 0) return FALSE;
    if (guard->trusted.trusts(uri)) return FALSE;
    // To the context, not the view: a load to another site runs in a fresh web process, and until it
    // commits the UI process drops what that process's page sends to the view.
    webkit_web_process_extension_send_message_to_context(
        guard->extension, webkit_user_message_new(wire::kStoppedMessageName, g_variant_new_string(uri)), nullptr,
        nullptr, nullptr);
    // An empty address fails the load without sending anything; the page that was shown stays.
    webkit_uri_request_set_uri(request, "");
    return FALSE;
}

void onPageCreated(WebKitWebProcessExtension*, WebKitWebPage* page, gpointer userData) {
    g_signal_connect(page, "send-request", G_CALLBACK(onSendRequest), userData);
}

} // namespace

void guardMainFrameRequests(WebKitWebProcessExtension* extension, const TrustedOrigins& trusted) {
    // Lives as long as the web process.
    auto* guard = new Guard{extension, trusted};
    g_signal_connect(extension, "page-created", G_CALLBACK(onPageCreated), guard);
}

} // namespace corvane::gtk::extension
