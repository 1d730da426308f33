#include "engine/quirks/EngineWarmUp.hpp"

namespace corvane::gtk {

EngineWarmUp::EngineWarmUp(WebKitWebContext* context, WebKitNetworkSession* session, const char* serviceURL)
    : view_(WEBKIT_WEB_VIEW(g_object_ref_sink(
          g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "network-session", session, nullptr)))) {
    g_signal_connect(
        view_, "decide-policy",
        G_CALLBACK(+[](WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType, gpointer) -> gboolean {
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }),
        nullptr);
    webkit_web_view_load_uri(view_, serviceURL);
}

EngineWarmUp::~EngineWarmUp() = default;

} // namespace corvane::gtk
