#include "GtkDesktop.hpp"

#include "About.hpp"
#include "AppId.hpp"
#include "AppOrigins.hpp"
#include "Bridge.hpp"
#include "BridgeChannel.hpp"
#include "BuildConfig.hpp"
#include "DeskFeatures.hpp"
#include "DevCert.hpp"
#include "PageRequests.hpp"
#include "WindowFocus.hpp"

namespace corvane::gtk {

namespace {

// A development build trusts its service's certificate for the service's host, and nothing else.
void trustDevCertificate(WebKitNetworkSession* session) {
    if (kDevCertificatePem[0] == '\0') return;
    auto base = core::Url::parse(core::build::baseURL);
    if (!base) return;
    GError* error = nullptr;
    GTlsCertificate* certificate = g_tls_certificate_new_from_pem(kDevCertificatePem, -1, &error);
    if (!certificate) {
        g_warning("development certificate unusable: %s", error->message);
        g_error_free(error);
        return;
    }
    webkit_network_session_allow_tls_certificate_for_host(session, certificate, base->hostLower().c_str());
    g_object_unref(certificate);
}

} // namespace

GtkDesktop::GtkDesktop(GtkApplication* app, SettingsFile& settings)
    : app_(app),
      settings_(settings),
      notifications_(G_APPLICATION(app), delegate_),
      panels_([this] { return window_ ? window_->window() : nullptr; },
              [this] { return web_ ? WEBKIT_WEB_VIEW(web_->widget()) : nullptr; }),
      services_(app, settings, delegate_, *this) {
    const std::string data = std::string(g_get_user_data_dir()) + "/corvane";
    const std::string cache = std::string(g_get_user_cache_dir()) + "/corvane";
    session_ = webkit_network_session_new(data.c_str(), cache.c_str());
    trustDevCertificate(session_);
    // Start resolving the service's host while the window is built.
    if (auto base = core::Url::parse(core::build::baseURL))
        webkit_network_session_prefetch_dns(session_, base->hostLower().c_str());
    context_ = webkit_web_context_new();
    prepareBridgeExtension(context_, std::string(core::Bridge::handlerName), core::AppOrigins::production().origins());
}

GtkDesktop::~GtkDesktop() {
    if (window_) g_signal_handlers_disconnect_by_data(window_->window(), this);
    window_.reset();
    web_.reset();
    g_clear_object(&context_);
    g_clear_object(&session_);
}

shell::WebView& GtkDesktop::createWebView(const shell::WebViewSpec& spec) {
    // Text checking follows the registered defaults unless the user stored a choice of their own. The
    // engine marks misspellings only; it has no automatic correction, grammar or replacement to switch off.
    const bool spelling = settings_.boolean(core::DeskFeatures::spellCheckingKey).value_or(false);
    webkit_web_context_set_spell_checking_enabled(context_, spelling);
    if (spelling) webkit_web_context_set_spell_checking_languages(context_, g_get_language_names());
    web_ = std::make_unique<AppWebView>(context_, session_, spec, delegate_);
    connectPageRequests(WEBKIT_WEB_VIEW(web_->widget()), session_, delegate_);
    return *web_;
}

shell::MainWindow& GtkDesktop::createMainWindow(const shell::WindowSpec& spec, shell::WebView&) {
    prepareWindows();
    window_ = std::make_unique<AppWindow>(app_, spec, web_->widget(), settings_, delegate_);
    if (GMenuModel* bar = services_.menuBar()) window_->setMenuBar(bar);
    g_signal_connect_swapped(window_->window(), "notify::fullscreened", G_CALLBACK(+[](GtkDesktop* self, GParamSpec*) {
                                 self->services_.showFullScreenState(gtk_window_is_fullscreen(self->window_->window()));
                             }),
                             this);
    return *window_;
}

void GtkDesktop::replyToTerminate() {
    if (finishQuit_) finishQuit_();
}

void GtkDesktop::setBadge(const std::optional<std::string>& label) {
    GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(app_));
    if (!bus) return;
    // Launchers show a count, not text: "999+" is shown as the first count past 999.
    gint64 count = 0;
    if (label) count = (*label == "999+") ? 1000 : g_ascii_strtoll(label->c_str(), nullptr, 10);
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "count", g_variant_new_int64(count));
    g_variant_builder_add(&properties, "{sv}", "count-visible", g_variant_new_boolean(label.has_value()));
    const std::string path = std::string(kAppObjectPath) + "/LauncherEntry";
    const std::string desktopId = std::string("application://") + kDesktopFile;
    g_dbus_connection_emit_signal(bus, nullptr, path.c_str(), "com.canonical.Unity.LauncherEntry", "Update",
                                  g_variant_new("(sa{sv})", desktopId.c_str(), &properties), nullptr);
}

void GtkDesktop::openExternal(const core::Url& url) {
    const std::string uri(url.text());
    g_app_info_launch_default_for_uri_async(uri.c_str(), nullptr, nullptr, nullptr, nullptr);
}

void GtkDesktop::activate() {
    if (window_) bringForward(window_->window());
}

} // namespace corvane::gtk
