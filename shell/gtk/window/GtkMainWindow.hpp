#pragma once

#include <functional>
#include <memory>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "app/DelegateHandle.hpp"
#include "ports/MainWindow.hpp"
#include "ports/SettingsStore.hpp"
#include "window/Appearance.hpp"
#include "window/TitleStrip.hpp"

namespace corvane::gtk {

// The main window: the title strip at the top, the web view below it. Closing hides it. Its colours
// follow the desktop's light/dark preference.
class GtkMainWindow : public shell::MainWindow {
public:
    GtkMainWindow(GtkApplication* app, const shell::WindowSpec& spec, GtkWidget* web, shell::SettingsStore& settings,
                  const DelegateHandle& delegate);
    ~GtkMainWindow() override;

    GtkWindow* window() const { return window_; }
    void setMenuBar(GMenuModel* model) { title_->setMenuBar(model); }
    void setHiddenListener(std::function<void()> hidden) { hidden_ = std::move(hidden); }
    // Told on each change, before the delegate.
    void setFullScreenListener(std::function<void(bool)> changed) { fullScreenChanged_ = std::move(changed); }
    // The page's, as the view's owner hands them on.
    void pageLoadChanged(WebKitLoadEvent event);
    void themeColourChanged() { title_->themeColourChanged(); }

    void restoreFrame(const std::string& name) override;
    void present() override;
    bool isVisible() override;
    void toggleFullScreen() override;
    bool isFullScreen() override;
    void showOffline() override;
    void removeOffline() override;

private:
    void saveFrame();
    void applyAppearance(bool dark);
    void setRetrying(bool on);
    static void onRetryClicked(GtkButton*, gpointer);
    static gboolean onCloseRequest(GtkWindow*, gpointer);
    static void onFullscreened(GObject*, GParamSpec*, gpointer);
    static void onSizeChanged(GObject*, GParamSpec*, gpointer);

    GtkWindow* window_;
    GtkWidget* overlay_;
    GtkWidget* strip_;
    GtkWidget* web_;
    GtkWidget* offline_ = nullptr;
    GtkWidget* retry_ = nullptr;
    std::unique_ptr<TitleStrip> title_;
    std::unique_ptr<Appearance> appearance_;
    std::function<void(bool)> fullScreenChanged_;
    std::function<void()> hidden_;
    shell::SettingsStore& settings_;
    const DelegateHandle& delegate_;
    std::string frameName_;
    int minWidth_, minHeight_;               // a restored size smaller than the window's minimum is not used
    int normalWidth_ = 0, normalHeight_ = 0; // the last size neither maximised nor full screen
    bool maximized_ = false;
    bool restoreNormal_ = false; // launched maximised: the normal size goes back on when restored
    guint saveTimer_ = 0;
    guint retryTimer_ = 0;
    gint64 retryStarted_ = 0;
    bool retryHadFocus_ = false;
    bool wasFullScreen_ = false;
};

} // namespace corvane::gtk
