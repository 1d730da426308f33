#pragma once

#include <functional>
#include <memory>

#include <webkit/webkit.h>

#include "DelegateHandle.hpp"
#include "AppWebView.hpp"
#include "AppUpdater.hpp"
#include "AppWindow.hpp"
#include "NetworkWatch.hpp"
#include "Notifications.hpp"
#include "Panels.hpp"
#include "SettingsFile.hpp"
#include "ports/Desktop.hpp"
#include "ports/Services.hpp"

namespace corvane::gtk {

// The application's desktop services on GTK, WebKitGTK and GIO.
class GtkDesktop : public shell::Desktop, public shell::Services {
public:
    GtkDesktop(GtkApplication* app, SettingsFile& settings);
    ~GtkDesktop() override;
    // What every backend object reaches the delegate through; see DelegateHandle.
    DelegateHandle& delegate() { return delegate_; }
    AppWindow* window() const { return window_.get(); }

    shell::WebView& createWebView(const shell::WebViewSpec& spec) override;
    shell::MainWindow& createMainWindow(const shell::WindowSpec& spec, shell::WebView& web) override;
    void setBadge(const std::optional<std::string>& label) override;
    void openExternal(const core::Url& url) override;
    void activate() override;
    void replyToTerminate() override;
    // What a quit request and its final reply do; set by the process entry.
    void setQuitHandlers(std::function<void()> request, std::function<void()> finish) {
        requestQuit_ = std::move(request);
        finishQuit_ = std::move(finish);
    }

    shell::Updater* startUpdater() override;
    void installMenuBar(const std::vector<core::Menu>& menus) override;
    void startNetworkMonitor() override { network_.start(); }
    shell::NotificationCenter& notifications() { return notifications_; }
    shell::Panels& panels() { return panels_; }

private:
    GtkApplication* app_;
    SettingsFile& settings_;
    DelegateHandle delegate_;
    WebKitWebContext* context_ = nullptr;
    WebKitNetworkSession* session_ = nullptr;
    std::unique_ptr<AppWebView> web_;
    std::unique_ptr<AppWindow> window_;
    GMenuModel* menuBar_ = nullptr;
    GMenu* fullScreenSection_ = nullptr; // owned by menuBar_
    int fullScreenIndex_ = 0;
    GioNotifications notifications_;
    NetworkWatch network_;
    GtkPanels panels_;
    std::unique_ptr<AppUpdater> updater_;
    std::function<void()> requestQuit_, finishQuit_;

    void addActions();
    void standardAction(const std::string& name);
    void showFullScreenState(bool fullScreen);
};

} // namespace corvane::gtk
