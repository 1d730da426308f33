#pragma once

#include <functional>
#include <memory>

#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"
#include "app/GtkSettingsStore.hpp"
#include "desktop/GtkNotificationCenter.hpp"
#include "desktop/NetworkWatch.hpp"
#include "dialogs/GtkPanels.hpp"
#include "engine/GtkWebView.hpp"
#include "engine/quirks/EngineWarmUp.hpp"
#include "ports/Desktop.hpp"
#include "ports/Services.hpp"
#include "toolkit/GObjectRef.hpp"
#include "updater/AppUpdater.hpp"
#include "window/GtkMainWindow.hpp"
#include "window/GtkMenuBar.hpp"

namespace corvane::gtk {

// The application's desktop on GTK, WebKitGTK and GIO: its one view and window, badge and activation, and
// what the launch starts (the menu bar, the updater, the network watch). It also owns what the delegate's
// other ports are implemented by: notifications(), panels().
class GtkDesktop : public shell::Desktop, public shell::Services {
public:
    // Takes the session, when given one (see startNetworkSession); else starts its own.
    GtkDesktop(GtkApplication* app, GtkSettingsStore& settings, WebKitNetworkSession* session);
    ~GtkDesktop() override;
    // What every backend object reaches the delegate through; see DelegateHandle.
    DelegateHandle& delegate() { return delegate_; }
    GtkMainWindow* window() const { return window_.get(); }
    GtkWebView* webView() const { return web_.get(); }
    WebKitNetworkSession* session() const { return session_; }

    shell::WebView& createWebView(const shell::WebViewSpec& spec) override;
    shell::MainWindow& createMainWindow(const shell::WindowSpec& spec, shell::WebView& web) override;
    void setBadge(const std::optional<std::string>& label) override;
    void openExternal(const core::Url& url) override;
    void activate() override;
    void replyToTerminate() override;

    shell::Updater* startUpdater() override;
    void installMenuBar(const std::vector<core::Menu>& menus) override;
    void startNetworkMonitor() override { network_.start(); }
    // The application is shutting down: a staged update goes in now.
    void shutdown() {
        if (updater_) updater_->shutdown();
    }
    // What a quit request and its final reply do; set by the process entry.
    void setQuitHandlers(std::function<void()> request, std::function<void()> finish) {
        requestQuit_ = std::move(request);
        finishQuit_ = std::move(finish);
    }

    void requestQuit() {
        if (requestQuit_) requestQuit_();
    }

    shell::NotificationCenter& notifications() { return notifications_; }
    shell::Panels& panels() { return panels_; }

private:
    void standardAction(GtkMenuBar::Standard which);

    GtkApplication* app_;
    GtkSettingsStore& settings_;
    DelegateHandle delegate_;
    GObjectRef<WebKitWebContext> context_;
    GObjectRef<WebKitNetworkSession> session_;
    gulong downloadStarted_ = 0;
    gulong stoppedRequests_ = 0;
    std::unique_ptr<EngineWarmUp> warmUp_;
    std::unique_ptr<GtkWebView> web_;
    std::unique_ptr<GtkMainWindow> window_;
    GtkNotificationCenter notifications_;
    GtkPanels panels_;
    GtkMenuBar menuBar_;
    NetworkWatch network_;
    std::unique_ptr<AppUpdater> updater_;
    std::function<void()> requestQuit_, finishQuit_;
};

} // namespace corvane::gtk
