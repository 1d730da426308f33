#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "app/DelegateHandle.hpp"
#include "app/GtkSettingsStore.hpp"
#include "desktop/NetworkWatch.hpp"
#include "ports/Services.hpp"
#include "updater/AppUpdater.hpp"

namespace corvane::gtk {

class GtkDesktop;

// What the launch sequence starts, on GTK: the menu bar with its app actions, the updater and the
// network watch. The standard actions act on the desktop's window and view.
class GtkServices : public shell::Services {
public:
    GtkServices(GtkApplication* app, GtkSettingsStore& settings, const DelegateHandle& delegate, GtkDesktop& desktop);
    ~GtkServices() override;
    GtkServices(const GtkServices&) = delete;
    GtkServices& operator=(const GtkServices&) = delete;

    shell::Updater* startUpdater() override;
    void installMenuBar(const std::vector<core::Menu>& menus) override;
    void startNetworkMonitor() override { network_.start(); }

    // The bar installMenuBar built, for the window; none before.
    GMenuModel* menuBar() const { return menuBar_; }
    void showFullScreenState(bool fullScreen);

private:
    GtkApplication* app_;
    GtkSettingsStore& settings_;
    const DelegateHandle& delegate_;
    GtkDesktop& desktop_;
    GMenuModel* menuBar_ = nullptr;
    GMenu* fullScreenSection_ = nullptr; // owned by menuBar_
    int fullScreenIndex_ = 0;
    NetworkWatch network_;
    std::unique_ptr<AppUpdater> updater_;

    void addActions();
    void standardAction(const std::string& name);
};

} // namespace corvane::gtk
