#include "desktop/GtkDesktop.hpp"

#include "AppId.hpp"
#include "AppOrigins.hpp"
#include "Bridge.hpp"
#include "BuildConfig.hpp"
#include "DeskFeatures.hpp"
#include "desktop/LaunchContext.hpp"
#include "dialogs/About.hpp"
#include "engine/BridgeChannel.hpp"
#include "engine/NetworkSession.hpp"
#include "engine/quirks/UnknownFrameNavigation.hpp"
#include "window/BringForward.hpp"

namespace corvane::gtk {

GtkDesktop::GtkDesktop(GtkApplication* app, GtkSettingsStore& settings, WebKitNetworkSession* session)
    : app_(app),
      settings_(settings),
      session_(session ? session : startNetworkSession()),
      notifications_(G_APPLICATION(app), delegate_),
      panels_([this] { return window_ ? window_->window() : nullptr; },
              [this] { return web_ ? WEBKIT_WEB_VIEW(web_->widget()) : nullptr; }),
      menuBar_(app, delegate_, [this](GtkMenuBar::Standard which) { standardAction(which); }),
      network_(delegate_) {
    context_.reset(webkit_web_context_new());
    prepareBridgeExtension(context_, std::string(core::Bridge::handlerName), core::AppOrigins::production().origins());
    // For the page's navigations only: the warm-up's are none of the delegate's business.
    stoppedRequests_ = connectStoppedMainFrameRequests(context_, [this](const std::string& uri) {
        if (delegate_ && web_) delegate_->mainFrameRequestStopped(uri);
    });
    warmUp_ = std::make_unique<EngineWarmUp>(context_, session_, std::string(core::build::baseURL).c_str());
}

GtkDesktop::~GtkDesktop() {
    if (downloadStarted_) g_signal_handler_disconnect(session_, downloadStarted_);
    if (web_) web_->setPageEvents({});
    window_.reset();
    web_.reset();
    g_signal_handler_disconnect(context_, stoppedRequests_);
}

shell::WebView& GtkDesktop::createWebView(const shell::WebViewSpec& spec) {
    // Text checking follows the registered defaults unless the user stored a choice of their own. The
    // engine marks misspellings only; it has no automatic correction, grammar or replacement to switch off.
    const bool spelling = settings_.boolean(core::DeskFeatures::spellCheckingKey).value_or(false);
    webkit_web_context_set_spell_checking_enabled(context_, spelling);
    if (spelling) webkit_web_context_set_spell_checking_languages(context_, g_get_language_names());
    // The delegate makes its one view once; the warmed-up view becomes it.
    if (!warmUp_) g_error("the web view is made once");
    web_ = std::make_unique<GtkWebView>(warmUp_->view(), spec, delegate_);
    warmUp_.reset();
    downloadStarted_ = g_signal_connect_swapped(
        session_, "download-started",
        G_CALLBACK(+[](GtkDesktop* self, WebKitDownload* download) { self->web_->downloadStarted(download); }), this);
    return *web_;
}

shell::MainWindow& GtkDesktop::createMainWindow(const shell::WindowSpec& spec, shell::WebView& web) {
    prepareWindows();
    // The only view this desktop makes is its own.
    window_ = std::make_unique<GtkMainWindow>(app_, spec, static_cast<GtkWebView&>(web).widget(), settings_, delegate_);
    if (GMenuModel* bar = menuBar_.model()) window_->setMenuBar(bar);
    window_->setFullScreenListener([this](bool fullScreen) { menuBar_.showFullScreenState(fullScreen); });
    GtkMainWindow* window = window_.get();
    static_cast<GtkWebView&>(web).setPageEvents({[window](WebKitLoadEvent event) { window->pageLoadChanged(event); },
                                                 [window] { window->themeColourChanged(); }});
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
    g_autoptr(GAppLaunchContext) context = newLaunchContext();
    g_app_info_launch_default_for_uri_async(uri.c_str(), context, nullptr, nullptr, nullptr);
}

void GtkDesktop::activate() {
    if (window_) bringForward(window_->window());
}

void GtkDesktop::installMenuBar(const std::vector<core::Menu>& menus) { menuBar_.install(menus); }

shell::Updater* GtkDesktop::startUpdater() {
    updater_ = AppUpdater::create(
        app_, settings_, [this] { requestQuit(); },
        [this] { menuBar_.setCheckForUpdatesEnabled(delegate_ && delegate_->canCheckForUpdates()); });
    return updater_ ? &updater_->updater() : nullptr;
}

void GtkDesktop::standardAction(GtkMenuBar::Standard which) {
    GtkWindow* window = window_ ? window_->window() : nullptr;
    auto edit = [&](const char* command) {
        if (web_) web_->executeEditingCommand(command);
    };
    using Standard = GtkMenuBar::Standard;
    switch (which) {
        case Standard::quit:
            requestQuit();
            break;
        case Standard::checkForUpdates:
            if (delegate_) delegate_->checkForUpdates();
            break;
        case Standard::about:
            showAbout(window);
            break;
        case Standard::hide:
        case Standard::closeWindow:
            if (window) gtk_window_close(window);
            break;
        case Standard::undo:
            edit(WEBKIT_EDITING_COMMAND_UNDO);
            break;
        case Standard::redo:
            edit(WEBKIT_EDITING_COMMAND_REDO);
            break;
        case Standard::cut:
            edit(WEBKIT_EDITING_COMMAND_CUT);
            break;
        case Standard::copy:
            edit(WEBKIT_EDITING_COMMAND_COPY);
            break;
        case Standard::paste:
            edit(WEBKIT_EDITING_COMMAND_PASTE);
            break;
        case Standard::selectAll:
            edit(WEBKIT_EDITING_COMMAND_SELECT_ALL);
            break;
        case Standard::toggleFullScreen:
            if (window_) window_->toggleFullScreen();
            break;
        case Standard::minimize:
            if (window) gtk_window_minimize(window);
            break;
        case Standard::maximize:
            if (window && gtk_window_is_maximized(window)) gtk_window_unmaximize(window);
            else if (window) gtk_window_maximize(window);
            break;
        case Standard::bringToFront:
            if (window) bringForward(window);
            break;
    }
}

} // namespace corvane::gtk
