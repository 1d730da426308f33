#pragma once

#include <functional>
#include <memory>

#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"
#include "engine/PageRequests.hpp"
#include "engine/quirks/SwipeGate.hpp"
#include "ports/WebView.hpp"

namespace corvane::gtk {

// The one WebKitWebView: carries out the WebView port and reports every engine event to the delegate. It
// alone connects to the view; the window hears of loads and the theme colour through pageEvents.
class GtkWebView : public shell::WebView {
public:
    struct PageEvents {
        std::function<void(WebKitLoadEvent)> loadChanged;
        std::function<void()> themeColourChanged;
    };

    // related: the view whose context, session and (already started) web process this one takes.
    GtkWebView(WebKitWebView* related, const shell::WebViewSpec& spec, const DelegateHandle& delegate);
    ~GtkWebView() override;

    GtkWidget* widget() const { return GTK_WIDGET(view_); }
    void setPageEvents(PageEvents events) { pageEvents_ = std::move(events); }
    // The network session's downloads are the view's page's.
    void downloadStarted(WebKitDownload* download) { requests_->downloadStarted(download); }

    void load(const core::Url& url) override;
    void reload() override;
    void stopLoading() override;
    bool goBack() override;
    std::optional<std::string> backURL() override;
    std::optional<std::string> currentURL() override;
    std::optional<std::string> title() override;
    void evaluate(const std::string& script, std::function<void()> done) override;
    void reveal() override;
    void focus() override;
    double zoom() override { return webkit_web_view_get_zoom_level(view_); }
    void setZoom(double factor) override { webkit_web_view_set_zoom_level(view_, factor); }
    void executeEditingCommand(const char* command) { webkit_web_view_execute_editing_command(view_, command); }

private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType, gpointer);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer);
    static gboolean onLoadFailedWithTlsErrors(WebKitWebView*, gchar*, GTlsCertificate*, GTlsCertificateFlags, gpointer);
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
    static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, WebKitHitTestResult*, gpointer);
    static gboolean onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest*, gpointer);
    static gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest*, gpointer);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
    static gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest*, gpointer);
    static gboolean onPrint(WebKitWebView*, WebKitPrintOperation*, gpointer);
    static void onThemeColour(WebKitWebView*, GParamSpec*, gpointer);

    WebKitWebView* view_;
    const DelegateHandle& delegate_;
    guint fadeTick_ = 0;
    std::unique_ptr<SwipeGate> swipe_;
    // Shared with the downloads still asking where to go.
    std::shared_ptr<PageRequests> requests_;
    PageEvents pageEvents_;
};

} // namespace corvane::gtk
