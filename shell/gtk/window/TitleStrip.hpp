#pragma once

#include <optional>

#include <gtk/gtk.h>
#include <webkit/webkit.h>
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// The 28-px strip at the top of the main window, built on GTK's window handle: the desktop's own drag,
// double-click and window menu, the menu bar at its start and the window buttons at its end. It is
// opaque, in the ground colour or the colour the page asks for (<meta name="theme-color">). In full
// screen it hides and slides in over the page while the pointer is at the top edge.
class TitleStrip {
public:
    static constexpr int height = 28;

    TitleStrip(GtkWindow* window, GtkWidget* web);
    ~TitleStrip();
    TitleStrip(const TitleStrip&) = delete;
    TitleStrip& operator=(const TitleStrip&) = delete;

    // Goes over the page, at the top.
    GtkWidget* widget() const { return revealer_; }
    void setMenuBar(GMenuModel* model);
    void setDark(bool dark);
    void setFullScreen(bool fullScreen);
    // The page's, as the view's owner hands them on.
    void pageLoadChanged(WebKitLoadEvent event);
    void themeColourChanged() { paint(); }

private:
    void paint();
    void readPageTheme();
    static void onPageThemeRead(GObject* source, GAsyncResult* result, gpointer data);
    void slide(bool in);
    bool menuOpen() const;
    static void onPointerMoved(GtkEventControllerMotion*, double x, double y, gpointer data);
    static gboolean hideLater(gpointer data);

    GtkWindow* window_;
    GtkWidget* web_;
    GtkWidget* revealer_;
    GtkWidget* bar_;
    GtkWidget* leave_;            // leaves full screen, shown only there
    GtkWidget* controls_;         // the desktop's window buttons
    GtkEventController* pointer_; // on the window
    GObjectRef<GtkCssProvider> colours_;
    GObjectRef<GCancellable> reading_;
    std::optional<GdkRGBA> pageTheme_; // from the page's markup, where the engine does not report it
    guint hideTimer_ = 0;
    double pointerY_ = 0;
    bool dark_ = false;
    bool fullScreen_ = false;
};

} // namespace corvane::gtk
