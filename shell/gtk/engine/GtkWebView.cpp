#include "engine/GtkWebView.hpp"

#include <set>
#include <vector>

#include "Palette.hpp"
#include "engine/BridgeChannel.hpp"
#include "engine/ContextMenu.hpp"
#include "engine/ErrorTranslation.hpp"
#include "engine/quirks/NoGpuDrawing.hpp"
#include "window/PaletteColours.hpp"

namespace corvane::gtk {

namespace {

// Holds the engine's decision until the delegate answers; an unanswered decision is ignored when dropped,
// so the engine always hears exactly once.
class DecisionHandle {
public:
    explicit DecisionHandle(WebKitPolicyDecision* decision)
        : decision_(WEBKIT_POLICY_DECISION(g_object_ref(decision))) {}
    ~DecisionHandle() {
        if (decision_) answer(shell::PolicyAnswer::cancel);
    }
    DecisionHandle(const DecisionHandle&) = delete;
    DecisionHandle& operator=(const DecisionHandle&) = delete;

    void answer(shell::PolicyAnswer answer) {
        if (!decision_) return;
        WebKitPolicyDecision* decision = std::exchange(decision_, nullptr);
        switch (answer) {
            case shell::PolicyAnswer::allow:
                webkit_policy_decision_use(decision);
                break;
            case shell::PolicyAnswer::cancel:
                webkit_policy_decision_ignore(decision);
                break;
            case shell::PolicyAnswer::download:
                webkit_policy_decision_download(decision);
                break;
        }
        g_object_unref(decision);
    }

private:
    WebKitPolicyDecision* decision_;
};

shell::PolicyHandler handlerFor(WebKitPolicyDecision* decision) {
    auto handle = std::make_shared<DecisionHandle>(decision);
    return [handle](shell::PolicyAnswer answer) { handle->answer(answer); };
}

shell::NavigationType typeOf(WebKitNavigationType type) {
    switch (type) {
        case WEBKIT_NAVIGATION_TYPE_LINK_CLICKED:
            return shell::NavigationType::linkActivated;
        case WEBKIT_NAVIGATION_TYPE_FORM_SUBMITTED:
            return shell::NavigationType::formSubmitted;
        case WEBKIT_NAVIGATION_TYPE_BACK_FORWARD:
            return shell::NavigationType::backForward;
        case WEBKIT_NAVIGATION_TYPE_RELOAD:
            return shell::NavigationType::reload;
        case WEBKIT_NAVIGATION_TYPE_FORM_RESUBMITTED:
            return shell::NavigationType::formResubmitted;
        default:
            return shell::NavigationType::other;
    }
}

shell::NavigationAction actionOf(WebKitNavigationAction* action) {
    shell::NavigationAction out;
    if (WebKitURIRequest* request = webkit_navigation_action_get_request(action))
        if (const char* uri = webkit_uri_request_get_uri(request)) out.url = uri;
    out.type = typeOf(webkit_navigation_action_get_navigation_type(action));
    out.userGesture = webkit_navigation_action_is_user_gesture(action);
    // The frame stays unknown: the action does not name it (UnknownFrameNavigation.hpp).
    return out;
}

std::optional<std::string> orNone(const char* text) { return text ? std::optional<std::string>(text) : std::nullopt; }

} // namespace

GtkWebView::GtkWebView(WebKitWebView* related, const shell::WebViewSpec& spec, const DelegateHandle& delegate)
    : delegate_(delegate) {
    g_autoptr(WebKitUserContentManager) content = webkit_user_content_manager_new();
    g_autoptr(WebKitUserScript) script =
        webkit_user_script_new(spec.userScript.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);

    g_autoptr(WebKitSettings) settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_fullscreen(settings, TRUE);
    swipe_ = std::make_unique<SwipeGate>(settings);
    drawDirectlyWithoutGpu(settings);

    view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", related, "user-content-manager", content,
                                         "settings", settings, nullptr));
    g_object_ref_sink(view_);

    const GdkRGBA ground = rgba(shell::Palette::ground.light);
    webkit_web_view_set_background_color(view_, &ground);
    gtk_widget_set_opacity(GTK_WIDGET(view_), 0.0);

    g_signal_connect(view_, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(view_, "create", G_CALLBACK(onCreate), this);
    g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(view_, "load-failed-with-tls-errors", G_CALLBACK(onLoadFailedWithTlsErrors), this);
    g_signal_connect(view_, "web-process-terminated", G_CALLBACK(onWebProcessTerminated), this);
    g_signal_connect(view_, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(view_, "authenticate", G_CALLBACK(onAuthenticate), this);
    g_signal_connect(view_, "run-file-chooser", G_CALLBACK(onRunFileChooser), this);
    g_signal_connect(view_, "script-dialog", G_CALLBACK(onScriptDialog), this);
    g_signal_connect(view_, "permission-request", G_CALLBACK(onPermissionRequest), this);
    g_signal_connect(view_, "print", G_CALLBACK(onPrint), this);
    g_signal_connect(view_, "notify::theme-color", G_CALLBACK(onThemeColour), this);
    requests_ = std::make_shared<PageRequests>(view_, delegate_);

    connectBridge(
        view_,
        [this](bool mainFrame, const std::string& origin, bool current) {
            return delegate_ && delegate_->acceptsScriptMessageFrom(mainFrame, origin, current);
        },
        [this](const BridgePost& post) {
            if (delegate_)
                delegate_->didReceiveScriptMessage({post.body, post.mainFrame, post.origin, post.currentWindow});
        });
}

GtkWebView::~GtkWebView() {
    if (fadeTick_) gtk_widget_remove_tick_callback(GTK_WIDGET(view_), fadeTick_);
    g_signal_handlers_disconnect_by_data(view_, this);
    // The bridge's handler captures this object too.
    g_signal_handlers_disconnect_matched(view_, G_SIGNAL_MATCH_ID,
                                         g_signal_lookup("user-message-received", WEBKIT_TYPE_WEB_VIEW), 0, nullptr,
                                         nullptr, nullptr);
    g_object_unref(view_);
}

void GtkWebView::load(const core::Url& url) {
    const std::string uri(url.text());
    // WebKitGTK has no per-request time-out; the app times each main-frame load itself.
    webkit_web_view_load_uri(view_, uri.c_str());
}

std::optional<std::string> GtkWebView::title() { return orNone(webkit_web_view_get_title(view_)); }

void GtkWebView::reload() { webkit_web_view_reload(view_); }

void GtkWebView::stopLoading() { webkit_web_view_stop_loading(view_); }

bool GtkWebView::goBack() {
    if (!webkit_web_view_can_go_back(view_)) return false;
    webkit_web_view_go_back(view_);
    return true;
}

std::optional<std::string> GtkWebView::backURL() {
    WebKitBackForwardListItem* item =
        webkit_back_forward_list_get_back_item(webkit_web_view_get_back_forward_list(view_));
    return item ? orNone(webkit_back_forward_list_item_get_uri(item)) : std::nullopt;
}

std::optional<std::string> GtkWebView::currentURL() { return orNone(webkit_web_view_get_uri(view_)); }

void GtkWebView::evaluate(const std::string& script, std::function<void()> done) {
    auto* callback = new std::function<void()>(std::move(done));
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::function<void()>> finish(static_cast<std::function<void()>*>(data));
            g_autoptr(JSCValue) value =
                webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
            (*finish)();
        },
        callback);
}

void GtkWebView::reveal() {
    if (fadeTick_) return;
    struct Fade {
        gint64 start = 0;
    };
    auto* fade = new Fade;
    fadeTick_ = gtk_widget_add_tick_callback(
        GTK_WIDGET(view_),
        [](GtkWidget* widget, GdkFrameClock* clock, gpointer data) -> gboolean {
            auto* f = static_cast<Fade*>(data);
            const gint64 now = gdk_frame_clock_get_frame_time(clock);
            if (!f->start) f->start = now;
            const double progress = std::min(1.0, static_cast<double>(now - f->start) / 180000.0);
            gtk_widget_set_opacity(widget, progress);
            return progress < 1.0 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        fade, [](gpointer data) { delete static_cast<Fade*>(data); });
}

void GtkWebView::focus() { gtk_widget_grab_focus(GTK_WIDGET(view_)); }

gboolean GtkWebView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                    gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    if (!self->delegate_) return FALSE;
    switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION: {
            auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
            self->delegate_->decidePolicyForNavigationAction(
                actionOf(webkit_navigation_policy_decision_get_navigation_action(navigation)), handlerFor(decision));
            return TRUE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION: {
            auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
            self->delegate_->createWebViewFor(
                actionOf(webkit_navigation_policy_decision_get_navigation_action(navigation)));
            webkit_policy_decision_ignore(decision);
            return TRUE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE: {
            auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
            shell::NavigationResponse out;
            WebKitURIResponse* received = webkit_response_policy_decision_get_response(response);
            out.url = orNone(webkit_uri_response_get_uri(received));
            if (SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(received))
                out.contentDisposition = orNone(soup_message_headers_get_one(headers, "Content-Disposition"));
            out.mainFrame = webkit_response_policy_decision_is_main_frame_main_resource(response);
            out.canShowMimeType = webkit_response_policy_decision_is_mime_type_supported(response);
            self->delegate_->decidePolicyForNavigationResponse(out, handlerFor(decision));
            return TRUE;
        }
        default:
            return FALSE;
    }
}

GtkWidget* GtkWebView::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    if (self->delegate_) self->delegate_->createWebViewFor(actionOf(action));
    return nullptr;
}

void GtkWebView::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    if (self->delegate_) {
        if (event == WEBKIT_LOAD_STARTED)
            self->delegate_->didStartProvisionalNavigation(orNone(webkit_web_view_get_uri(view)));
        else if (event == WEBKIT_LOAD_COMMITTED)
            self->delegate_->didCommitNavigation(orNone(webkit_web_view_get_uri(view)));
        else if (event == WEBKIT_LOAD_FINISHED) self->delegate_->didFinishNavigation();
    }
    self->requests_->loadChanged(view, event);
    if (self->pageEvents_.loadChanged) self->pageEvents_.loadChanged(event);
}

void GtkWebView::onThemeColour(WebKitWebView*, GParamSpec*, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    if (self->pageEvents_.themeColourChanged) self->pageEvents_.themeColourChanged();
}

gboolean GtkWebView::onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request, gpointer data) {
    static_cast<GtkWebView*>(data)->requests_->runFileChooser(request);
    return TRUE;
}

gboolean GtkWebView::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
    static_cast<GtkWebView*>(data)->requests_->scriptDialog(dialog);
    return TRUE;
}

gboolean GtkWebView::onPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer data) {
    static_cast<GtkWebView*>(data)->requests_->permissionRequest(request);
    return TRUE;
}

// Our bridge prints; a window.print() it did not replace (in a frame) does nothing, as on the desktop this
// app comes from.
gboolean GtkWebView::onPrint(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }

gboolean GtkWebView::onLoadFailed(WebKitWebView*, WebKitLoadEvent event, gchar* uri, GError* error, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    if (self->delegate_ && error && event != WEBKIT_LOAD_COMMITTED) {
        const auto translated = translateLoadError(g_quark_to_string(error->domain), error->code);
        self->delegate_->didFailProvisionalNavigation({translated.domain, translated.code, orNone(uri)});
    }
    return TRUE; // never the engine's own error page: the view keeps what it showed
}

gboolean GtkWebView::onLoadFailedWithTlsErrors(WebKitWebView*, gchar*, GTlsCertificate*, GTlsCertificateFlags,
                                               gpointer) {
    return TRUE; // refused, and nothing shown
}

void GtkWebView::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    // A termination the app asked for is not a crash.
    if (self->delegate_ && reason != WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
        self->delegate_->webContentProcessDidTerminate();
}

gboolean GtkWebView::onContextMenu(WebKitWebView*, WebKitContextMenu* menu, WebKitHitTestResult*, gpointer) {
    trimContextMenu(menu);
    return webkit_context_menu_get_n_items(menu) == 0; // an empty menu is not shown
}

gboolean GtkWebView::onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer data) {
    auto* self = static_cast<GtkWebView*>(data);
    std::string origin;
    if (WebKitSecurityOrigin* security = webkit_authentication_request_get_security_origin(request)) {
        g_autofree gchar* text = webkit_security_origin_to_string(security);
        origin = text ? text : "";
        webkit_security_origin_unref(security);
    }
    if (self->delegate_ && self->delegate_->mayAskForCredentials(origin)) return FALSE; // the engine's own dialog
    webkit_authentication_request_cancel(request);
    return TRUE;
}

} // namespace corvane::gtk
