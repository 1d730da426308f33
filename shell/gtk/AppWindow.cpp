#include "AppWindow.hpp"

#include "Offline.hpp"
#include "Palette.hpp"
#include "TitlebarDragView.hpp"

namespace corvane::gtk {

namespace {

std::string hex(std::uint32_t packed) {
    char buffer[8];
    g_snprintf(buffer, sizeof buffer, "#%06X", packed);
    return buffer;
}

void installStyle() {
    static bool done = false;
    if (done) return;
    done = true;
    using namespace shell::Palette;
    const std::string css =
        "window.corvane-main, window.corvane-main > overlay { background-color: " + hex(ground.light) + "; }\n"
        "#titlebar-drag-view, #titlebar-drag-view popovermenubar { background: transparent; box-shadow: none; }\n"
        ".corvane-offline { background-color: " + hex(ground.light) + "; }\n"
        ".corvane-offline .heading { color: " + hex(ink.light) + "; font-family: serif; font-size: 26pt; }\n"
        ".corvane-offline .body { color: " + hex(ink2.light) + "; font-size: 14pt; }\n"
        ".corvane-offline button { background: " + hex(fir) + "; color: " + hex(cream) +
        "; border-radius: 22px; font-weight: 600; padding: 10px 28px; }\n";
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, css.c_str(), static_cast<gssize>(css.size()));
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

} // namespace

AppWindow::AppWindow(GtkApplication* app, const shell::WindowSpec& spec, GtkWidget* web, SettingsFile& settings,
                     shell::AppDelegate*& delegate)
    : settings_(settings), delegate_(delegate) {
    installStyle();
    window_ = GTK_WINDOW(gtk_application_window_new(app));
    g_object_ref(window_);
    gtk_widget_add_css_class(GTK_WIDGET(window_), "corvane-main");
    gtk_window_set_title(window_, spec.title.c_str());
    gtk_window_set_default_size(window_, spec.width, spec.height);
    gtk_widget_set_size_request(GTK_WIDGET(window_), spec.minWidth, spec.minHeight);
    gtk_window_set_hide_on_close(window_, FALSE);
    // No title bar of the desktop's own: the page runs to the top edge under the strip.
    GtkWidget* noTitlebar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_visible(noTitlebar, FALSE);
    gtk_window_set_titlebar(window_, noTitlebar);

    overlay_ = gtk_overlay_new();
    gtk_widget_set_hexpand(web, TRUE);
    gtk_widget_set_vexpand(web, TRUE);
    gtk_overlay_set_child(GTK_OVERLAY(overlay_), web);
    strip_ = titlebarDragViewNew();
    GtkWidget* spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(strip_), spacer);
    gtk_box_append(GTK_BOX(strip_), gtk_window_controls_new(GTK_PACK_END));
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), strip_);
    gtk_window_set_child(window_, overlay_);

    g_signal_connect(window_, "close-request", G_CALLBACK(onCloseRequest), this);
    g_signal_connect(window_, "notify::fullscreened", G_CALLBACK(onFullscreened), this);
    g_signal_connect(window_, "notify::default-width", G_CALLBACK(onSizeChanged), this);
    g_signal_connect(window_, "notify::default-height", G_CALLBACK(onSizeChanged), this);
    g_signal_connect(window_, "notify::maximized", G_CALLBACK(onSizeChanged), this);
}

AppWindow::~AppWindow() {
    if (saveTimer_) g_source_remove(saveTimer_);
    g_signal_handlers_disconnect_by_data(window_, this);
    g_object_unref(window_);
}

void AppWindow::restoreFrame(const std::string& name) {
    frameName_ = name;
    const auto width = settings_.integer(name + ".width");
    const auto height = settings_.integer(name + ".height");
    // Sizes from the file are untrusted: keep them within sane bounds.
    if (width && height && *width >= 900 && *height >= 600 && *width <= 16384 && *height <= 16384)
        gtk_window_set_default_size(window_, *width, *height);
    if (settings_.boolean(name + ".maximized").value_or(false)) gtk_window_maximize(window_);
}

void AppWindow::saveFrame() {
    if (frameName_.empty() || gtk_window_is_fullscreen(window_)) return;
    const bool maximized = gtk_window_is_maximized(window_);
    if (!maximized) {
        int width = 0, height = 0;
        gtk_window_get_default_size(window_, &width, &height);
        if (width > 0 && height > 0) {
            settings_.setInteger(frameName_ + ".width", width);
            settings_.setInteger(frameName_ + ".height", height);
        }
    }
    settings_.setBoolean(frameName_ + ".maximized", maximized);
}

void AppWindow::present() { gtk_window_present(window_); }
bool AppWindow::isVisible() { return gtk_widget_get_visible(GTK_WIDGET(window_)); }

void AppWindow::toggleFullScreen() {
    if (gtk_window_is_fullscreen(window_)) gtk_window_unfullscreen(window_);
    else gtk_window_fullscreen(window_);
}

bool AppWindow::isFullScreen() { return gtk_window_is_fullscreen(window_); }

void AppWindow::showOffline() {
    if (offline_) return;
    offline_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
    gtk_widget_add_css_class(offline_, "corvane-offline");
    gtk_widget_set_valign(offline_, GTK_ALIGN_FILL);
    gtk_widget_set_halign(offline_, GTK_ALIGN_FILL);
    GtkWidget* heading = gtk_label_new(std::string(core::Offline::title).c_str());
    gtk_widget_add_css_class(heading, "heading");
    GtkWidget* body = gtk_label_new(std::string(core::Offline::body).c_str());
    gtk_widget_add_css_class(body, "body");
    gtk_label_set_wrap(GTK_LABEL(body), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(body), 50);
    gtk_label_set_justify(GTK_LABEL(body), GTK_JUSTIFY_CENTER);
    GtkWidget* center = gtk_box_new(GTK_ORIENTATION_VERTICAL, 18);
    gtk_widget_set_valign(center, GTK_ALIGN_CENTER);
    gtk_widget_set_vexpand(center, TRUE);
    gtk_box_append(GTK_BOX(center), heading);
    gtk_box_append(GTK_BOX(center), body);
    gtk_box_append(GTK_BOX(offline_), center);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), offline_);
    // Keep the drag strip above the screen.
    g_object_ref(strip_);
    gtk_overlay_remove_overlay(GTK_OVERLAY(overlay_), strip_);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), strip_);
    g_object_unref(strip_);
}

void AppWindow::removeOffline() {
    if (!offline_) return;
    gtk_overlay_remove_overlay(GTK_OVERLAY(overlay_), offline_);
    offline_ = nullptr;
}

gboolean AppWindow::onCloseRequest(GtkWindow* window, gpointer data) {
    static_cast<AppWindow*>(data)->saveFrame();
    gtk_widget_set_visible(GTK_WIDGET(window), FALSE);
    return TRUE;
}

void AppWindow::onFullscreened(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<AppWindow*>(data);
    const bool now = gtk_window_is_fullscreen(self->window_);
    if (now == self->wasFullScreen_ || !self->delegate_) return;
    self->wasFullScreen_ = now;
    if (now) self->delegate_->windowDidEnterFullScreen();
    else self->delegate_->windowDidExitFullScreen();
}

void AppWindow::onSizeChanged(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<AppWindow*>(data);
    if (self->saveTimer_) g_source_remove(self->saveTimer_);
    // Resizing reports many sizes; write the last one.
    self->saveTimer_ = g_timeout_add(
        500,
        [](gpointer d) -> gboolean {
            auto* w = static_cast<AppWindow*>(d);
            w->saveTimer_ = 0;
            w->saveFrame();
            return G_SOURCE_REMOVE;
        },
        self);
}

} // namespace corvane::gtk
