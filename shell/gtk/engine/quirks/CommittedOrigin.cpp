#include "engine/quirks/CommittedOrigin.hpp"

namespace corvane::gtk {

namespace {

std::string originOf(const char* uri) {
    if (!uri) return {};
    WebKitSecurityOrigin* origin = webkit_security_origin_new_for_uri(uri);
    if (!origin) return {};
    g_autofree char* text = webkit_security_origin_to_string(origin);
    std::string out = text ? text : "";
    webkit_security_origin_unref(origin);
    return out;
}

} // namespace

void CommittedOrigin::loadChanged(WebKitWebView* view, WebKitLoadEvent event) {
    if (event == WEBKIT_LOAD_COMMITTED) origin_ = originOf(webkit_web_view_get_uri(view));
}

} // namespace corvane::gtk
