#pragma once

#include <functional>
#include <vector>

#include <gtk/gtk.h>

#include "MenuBar.hpp"
#include "app/DelegateHandle.hpp"

namespace corvane::gtk {

// The app's actions with their keys, and the menu bar the title strip shows. The standard rows act on the
// window and the view, which are the owner's: it is handed each.
class GtkMenuBar {
public:
    using Standard = shell::MenuBar::Standard;

    GtkMenuBar(GtkApplication* app, const DelegateHandle& delegate, std::function<void(Standard)> standard);
    ~GtkMenuBar();
    GtkMenuBar(const GtkMenuBar&) = delete;
    GtkMenuBar& operator=(const GtkMenuBar&) = delete;

    void install(const std::vector<core::Menu>& menus);
    // The bar install built; none before.
    GMenuModel* model() const { return model_; }
    void showFullScreenState(bool fullScreen);
    void setCheckForUpdatesEnabled(bool enabled);

private:
    void addActions();

    GtkApplication* app_;
    const DelegateHandle& delegate_;
    std::function<void(Standard)> standard_;
    GMenuModel* model_ = nullptr;
    GMenu* fullScreenSection_ = nullptr; // owned by model_
    int fullScreenIndex_ = 0;
};

} // namespace corvane::gtk
