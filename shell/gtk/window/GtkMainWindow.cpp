#include "window/GtkMainWindow.hpp"

#include <algorithm>

#include <webkit/webkit.h>

#include "Offline.hpp"
#include "Palette.hpp"
#include "SettingsKeys.hpp"
#include "dialogs/About.hpp"
#include "engine/quirks/SwipeGate.hpp"
#include "toolkit/Accessible.hpp"
#include "toolkit/GtkCompat.hpp"
#include "window/BringForward.hpp"
#include "window/PaletteColours.hpp"

namespace corvane::gtk {

namespace {

// Sizes in px: the palette's layout is in logical pixels, and GTK's pt are 4/3 of those.
void installStyle() {
    static bool done = false;
    if (done) return;
    done = true;
    using namespace shell::Palette;
    const std::string css =
        "window.corvane-main, window.corvane-main > overlay { background-color: " + hex(ground.light) +
        "; }\n"
        "window.corvane-main.corvane-dark, window.corvane-main.corvane-dark > overlay { background-color: " +
        hex(ground.dark) +
        "; }\n"
        // Without a compositor GTK frames the window; a full-screen or maximised window has no edges.
        "window.corvane-main.solid-csd.fullscreen, window.corvane-main.solid-csd.maximized { padding: 0;"
        " border: none; box-shadow: none; }\n"
        ".corvane-offline { background-color: " +
        hex(ground.light) +
        "; }\n"
        ".corvane-dark .corvane-offline { background-color: " +
        hex(ground.dark) +
        "; }\n"
        ".corvane-offline .heading { color: " +
        hex(ink.light) +
        "; font-family: serif; font-size: 28px; font-weight: 400; }\n"
        ".corvane-dark .corvane-offline .heading { color: " +
        hex(ink.dark) +
        "; }\n"
        ".corvane-offline .body { color: " +
        hex(ink2.light) +
        "; font-size: 14px; }\n"
        ".corvane-dark .corvane-offline .body { color: " +
        hex(ink2.dark) +
        "; }\n"
        ".corvane-offline button.retry { background: " +
        hex(fir) + "; color: " + hex(cream) +
        "; border: none; border-radius: 22px; box-shadow: none; text-shadow: none; padding: 0; min-height: 0;"
        " min-width: 0; font-size: 14px; font-weight: 600; outline-offset: 3px; }\n"
        ".corvane-offline button.retry:focus-visible { outline: 2px solid " +
        hex(fir) +
        "; }\n"
        ".corvane-dark .corvane-offline button.retry:focus-visible { outline-color: " +
        hex(ink2.dark) +
        "; }\n"
        ".corvane-offline button.retry:active { background: shade(" +
        hex(fir) +
        ", 0.85); }\n"
        // Busy: the spinner takes the label's place; the colours stay, so it reads clearly.
        ".corvane-offline button.retry:disabled { background: " +
        hex(fir) + "; color: " + hex(cream) +
        "; filter: none; opacity: 1; }\n"
        ".corvane-offline button.retry:disabled spinner { color: " +
        hex(cream) + "; filter: none; opacity: 1; }\n";
    g_autoptr(GtkCssProvider) provider = gtk_css_provider_new();
    loadCss(provider, css);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The installed icon when there is one, else the one in the source tree; with neither, an empty 96-px
// square keeps the layout.
GtkWidget* appIcon(int scale) {
    constexpr int size = 96;
    GtkWidget* image =
        GTK_WIDGET(g_object_new(GTK_TYPE_IMAGE, "accessible-role", GTK_ACCESSIBLE_ROLE_PRESENTATION, nullptr));
    gtk_image_set_pixel_size(GTK_IMAGE(image), size);
    gtk_widget_set_size_request(image, size, size);
    GtkIconTheme* theme = gtk_icon_theme_get_for_display(gdk_display_get_default());
    if (theme && gtk_icon_theme_has_icon(theme, kAppIconName)) {
        gtk_image_set_from_icon_name(GTK_IMAGE(image), kAppIconName);
        return image;
    }
#ifdef CORVANE_ICON_FILE
    if (g_autoptr(GdkPixbuf) pixbuf =
            gdk_pixbuf_new_from_file_at_size(CORVANE_ICON_FILE, size * scale, size * scale, nullptr)) {
        g_autoptr(GdkTexture) texture = gdk_texture_new_for_pixbuf(pixbuf);
        gtk_image_set_from_paintable(GTK_IMAGE(image), GDK_PAINTABLE(texture));
    }
#else
    (void)scale;
#endif
    return image;
}

GtkWidget* wrappingLabel(const std::string& text, const char* cssClass, int width) {
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_widget_add_css_class(label, cssClass);
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    // A fixed width wraps the text at that width and keeps each line centred within it.
    gtk_label_set_max_width_chars(GTK_LABEL(label), 1);
    gtk_widget_set_size_request(label, width, -1);
    gtk_widget_set_halign(label, GTK_ALIGN_CENTER);
    return label;
}

std::string headingText() {
    std::string text(core::Offline::title);
    const std::string_view from = " once to ";
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1))
        text.replace(at, from.size(), " once\nto ");
    return text;
}

} // namespace

GtkMainWindow::GtkMainWindow(GtkApplication* app, const shell::WindowSpec& spec, GtkWidget* web,
                             shell::SettingsStore& settings, const DelegateHandle& delegate)
    : web_(web), settings_(settings), delegate_(delegate), minWidth_(spec.minWidth), minHeight_(spec.minHeight) {
    installStyle();
    window_ = GTK_WINDOW(gtk_application_window_new(app));
    g_object_ref(window_);
    gtk_widget_add_css_class(GTK_WIDGET(window_), "corvane-main");
    gtk_window_set_title(window_, spec.title.c_str());
    gtk_window_set_default_size(window_, spec.width, spec.height);
    gtk_widget_set_size_request(GTK_WIDGET(window_), spec.minWidth, spec.minHeight);
    gtk_window_set_hide_on_close(window_, FALSE);
    // No title bar of the desktop's own: the strip is the title bar.
    GtkWidget* noTitlebar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_visible(noTitlebar, FALSE);
    gtk_window_set_titlebar(window_, noTitlebar);

    overlay_ = gtk_overlay_new();
    gtk_widget_set_hexpand(web, TRUE);
    gtk_widget_set_vexpand(web, TRUE);
    gtk_overlay_set_child(GTK_OVERLAY(overlay_), web);
    title_ = std::make_unique<TitleStrip>(window_, web);
    strip_ = title_->widget();
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), strip_);
    gtk_window_set_child(window_, overlay_);

    g_signal_connect(window_, "close-request", G_CALLBACK(onCloseRequest), this);
    g_signal_connect(window_, "notify::fullscreened", G_CALLBACK(onFullscreened), this);
    g_signal_connect(window_, "notify::default-width", G_CALLBACK(onSizeChanged), this);
    g_signal_connect(window_, "notify::default-height", G_CALLBACK(onSizeChanged), this);
    g_signal_connect(window_, "notify::maximized", G_CALLBACK(onSizeChanged), this);
    g_signal_connect_swapped(window_, "notify::visible", G_CALLBACK(+[](GtkMainWindow* self) {
                                 if (!gtk_widget_get_visible(GTK_WIDGET(self->window_)) && self->hidden_)
                                     self->hidden_();
                             }),
                             this);

    appearance_ = std::make_unique<Appearance>([this](bool dark) { applyAppearance(dark); });
    if (WEBKIT_IS_WEB_VIEW(web_)) addHistoryControls(window_, WEBKIT_WEB_VIEW(web_));
}

GtkMainWindow::~GtkMainWindow() {
    appearance_.reset();
    title_.reset();
    // A quit right after a resize keeps it.
    if (saveTimer_) {
        g_source_remove(saveTimer_);
        saveFrame();
    }
    if (retryTimer_) g_source_remove(retryTimer_);
    g_signal_handlers_disconnect_by_data(window_, this);
    g_object_unref(window_);
}

void GtkMainWindow::restoreFrame(const std::string& name) {
    frameName_ = name;
    const auto width = settings_.integer(shell::keys::frameWidth(name));
    const auto height = settings_.integer(shell::keys::frameHeight(name));
    // Sizes from the file are untrusted: keep them within sane bounds.
    if (width && height && *width >= minWidth_ && *height >= minHeight_ && *width <= 16384 && *height <= 16384) {
        gtk_window_set_default_size(window_, *width, *height);
        normalWidth_ = static_cast<int>(*width);
        normalHeight_ = static_cast<int>(*height);
    }
    if (settings_.boolean(shell::keys::frameMaximized(name)).value_or(false)) {
        // Mapped maximised, the window manager never learns the normal size and makes one up when the
        // window is restored; it is given back then.
        restoreNormal_ = normalWidth_ > 0;
        maximized_ = true;
        gtk_window_maximize(window_);
    }
}

void GtkMainWindow::saveFrame() {
    if (frameName_.empty()) return;
    if (normalWidth_ > 0 && normalHeight_ > 0) {
        settings_.setInteger(shell::keys::frameWidth(frameName_), normalWidth_);
        settings_.setInteger(shell::keys::frameHeight(frameName_), normalHeight_);
    }
    // Full screen is stored on its own; the maximised state under it stays as it was.
    if (!gtk_window_is_fullscreen(window_)) settings_.setBoolean(shell::keys::frameMaximized(frameName_), maximized_);
}

void GtkMainWindow::present() { bringForward(window_); }
// A minimised window is out of sight: opening the app again brings it back.
bool GtkMainWindow::isVisible() {
    if (!gtk_widget_get_visible(GTK_WIDGET(window_))) return false;
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(window_));
    return !(GDK_IS_TOPLEVEL(surface) &&
             (gdk_toplevel_get_state(GDK_TOPLEVEL(surface)) & GDK_TOPLEVEL_STATE_MINIMIZED));
}

void GtkMainWindow::toggleFullScreen() {
    if (gtk_window_is_fullscreen(window_)) gtk_window_unfullscreen(window_);
    else gtk_window_fullscreen(window_);
}

bool GtkMainWindow::isFullScreen() { return gtk_window_is_fullscreen(window_); }

void GtkMainWindow::applyAppearance(bool dark) {
    if (dark) gtk_widget_add_css_class(GTK_WIDGET(window_), "corvane-dark");
    else gtk_widget_remove_css_class(GTK_WIDGET(window_), "corvane-dark");
    title_->setDark(dark);
    // What shows before the page paints, and under it, is the same ground.
    if (WEBKIT_IS_WEB_VIEW(web_)) {
        const GdkRGBA ground = rgba(shell::Palette::ground.resolve(dark));
        webkit_web_view_set_background_color(WEBKIT_WEB_VIEW(web_), &ground);
    }
}

void GtkMainWindow::showOffline() {
    if (offline_) return;
    GtkWidget* icon = appIcon(gtk_widget_get_scale_factor(GTK_WIDGET(window_)));
    gtk_widget_set_halign(icon, GTK_ALIGN_CENTER);
    gtk_widget_set_margin_bottom(icon, 26 - 12);
    GtkWidget* heading = wrappingLabel(headingText(), "heading", 460);
    GtkWidget* body = wrappingLabel(std::string(core::Offline::body(core::Platform::linuxDesktop)), "body", 400);
    gtk_widget_set_margin_bottom(body, 30 - 12);
    retry_ = gtk_button_new();
    GtkWidget* face = gtk_stack_new();
    gtk_stack_add_named(GTK_STACK(face), gtk_label_new(std::string(core::Offline::retry).c_str()), "label");
    GtkWidget* spinner = gtk_spinner_new();
    gtk_widget_set_size_request(spinner, 20, 20);
    gtk_widget_set_halign(spinner, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(spinner, GTK_ALIGN_CENTER);
    gtk_stack_add_named(GTK_STACK(face), spinner, "spinner");
    gtk_stack_set_visible_child_name(GTK_STACK(face), "label");
    gtk_button_set_child(GTK_BUTTON(retry_), face);
    nameAccessible(retry_, std::string(core::Offline::retry).c_str());
    gtk_widget_add_css_class(retry_, "retry");
    gtk_widget_set_size_request(retry_, 168, 44);
    gtk_widget_set_halign(retry_, GTK_ALIGN_CENTER);
    gtk_widget_set_cursor_from_name(retry_, "pointer");
    g_signal_connect(retry_, "clicked", G_CALLBACK(onRetryClicked), this);

    GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    for (GtkWidget* item : {icon, heading, body, retry_}) gtk_box_append(GTK_BOX(stack), item);
    gtk_widget_set_halign(stack, GTK_ALIGN_CENTER);
    gtk_widget_set_valign(stack, GTK_ALIGN_CENTER);
    gtk_widget_set_vexpand(stack, TRUE);
    // Centred 24 px above the middle, and never closer than 32 px to the sides.
    gtk_widget_set_margin_bottom(stack, 2 * 24);
    gtk_widget_set_margin_start(stack, 32);
    gtk_widget_set_margin_end(stack, 32);

    offline_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_add_css_class(offline_, "corvane-offline");
    gtk_box_append(GTK_BOX(offline_), stack);
    // Under the drag strip, so the window can still be moved and the menus reached.
    gtk_widget_insert_before(offline_, overlay_, strip_);

    // The page underneath must not take keys by Tab while it is covered.
    gtk_widget_set_can_focus(web_, FALSE);
    gtk_window_set_default_widget(window_, retry_);
    gtk_widget_grab_focus(retry_);
}

void GtkMainWindow::removeOffline() {
    if (!offline_) return;
    if (retryTimer_) g_source_remove(retryTimer_);
    retryTimer_ = 0;
    if (gtk_window_get_default_widget(window_) == retry_) gtk_window_set_default_widget(window_, nullptr);
    gtk_overlay_remove_overlay(GTK_OVERLAY(overlay_), offline_);
    offline_ = nullptr;
    retry_ = nullptr;
    gtk_widget_set_can_focus(web_, TRUE);
}

void GtkMainWindow::setRetrying(bool on) {
    if (!retry_) return;
    GtkWidget* face = gtk_button_get_child(GTK_BUTTON(retry_));
    GtkWidget* spinner = gtk_stack_get_child_by_name(GTK_STACK(face), "spinner");
    const bool hadFocus = !on && (retryHadFocus_ || !gtk_window_get_focus(window_));
    if (on) retryHadFocus_ = gtk_widget_has_focus(retry_);
    gtk_stack_set_visible_child_name(GTK_STACK(face), on ? "spinner" : "label");
    gtk_spinner_set_spinning(GTK_SPINNER(spinner), on);
    gtk_widget_set_sensitive(retry_, !on);
    gtk_accessible_update_state(GTK_ACCESSIBLE(retry_), GTK_ACCESSIBLE_STATE_BUSY, on, -1);
    // Return presses Retry again once it can be pressed.
    if (hadFocus) gtk_widget_grab_focus(retry_);
}

// A retry in progress shows on the offline screen, whichever way it was started.
void GtkMainWindow::pageLoadChanged(WebKitLoadEvent event) {
    title_->pageLoadChanged(event);
    if (!offline_) return;
    GtkMainWindow* self = this;
    if (event == WEBKIT_LOAD_STARTED) {
        if (self->retryTimer_) g_source_remove(self->retryTimer_);
        self->retryTimer_ = 0;
        self->retryStarted_ = g_get_monotonic_time();
        self->setRetrying(true);
    } else if (event == WEBKIT_LOAD_FINISHED && !self->retryTimer_) {
        // Finished with the screen still up: the load failed. A refused connection fails within
        // milliseconds, so the spinner stays long enough to be seen.
        constexpr gint64 shortestMs = 800;
        const gint64 elapsedMs = (g_get_monotonic_time() - self->retryStarted_) / 1000;
        self->retryTimer_ = g_timeout_add(
            static_cast<guint>(std::clamp<gint64>(shortestMs - elapsedMs, 0, shortestMs)),
            [](gpointer d) -> gboolean {
                auto* w = static_cast<GtkMainWindow*>(d);
                w->retryTimer_ = 0;
                w->setRetrying(false);
                return G_SOURCE_REMOVE;
            },
            self);
    }
}

void GtkMainWindow::onRetryClicked(GtkButton*, gpointer data) {
    auto* self = static_cast<GtkMainWindow*>(data);
    if (self->delegate_) self->delegate_->retry();
}

gboolean GtkMainWindow::onCloseRequest(GtkWindow* window, gpointer data) {
    static_cast<GtkMainWindow*>(data)->saveFrame();
    gtk_widget_set_visible(GTK_WIDGET(window), FALSE);
    return TRUE;
}

void GtkMainWindow::onFullscreened(GObject*, GParamSpec*, gpointer data) {
    auto* self = static_cast<GtkMainWindow*>(data);
    const bool now = gtk_window_is_fullscreen(self->window_);
    self->title_->setFullScreen(now);
    if (now == self->wasFullScreen_) return;
    self->wasFullScreen_ = now;
    if (self->fullScreenChanged_) self->fullScreenChanged_(now);
    if (!self->delegate_) return;
    if (now) self->delegate_->windowDidEnterFullScreen();
    else self->delegate_->windowDidExitFullScreen();
}

void GtkMainWindow::onSizeChanged(GObject*, GParamSpec* pspec, gpointer data) {
    auto* self = static_cast<GtkMainWindow*>(data);
    GtkWindow* window = self->window_;
    const bool maximized = gtk_window_is_maximized(window);
    if (gtk_window_is_fullscreen(window)) return;
    if (g_str_equal(pspec->name, "maximized")) {
        self->maximized_ = maximized;
        if (!maximized && self->restoreNormal_) {
            self->restoreNormal_ = false;
            gtk_window_set_default_size(window, self->normalWidth_, self->normalHeight_);
        }
    } else if (!maximized && !self->restoreNormal_) {
        int width = 0, height = 0;
        gtk_window_get_default_size(window, &width, &height);
        if (width > 0 && height > 0) {
            self->normalWidth_ = width;
            self->normalHeight_ = height;
        }
    }
    if (self->saveTimer_) g_source_remove(self->saveTimer_);
    // Resizing reports many sizes; write the last one.
    self->saveTimer_ = g_timeout_add(
        500,
        [](gpointer d) -> gboolean {
            auto* w = static_cast<GtkMainWindow*>(d);
            w->saveTimer_ = 0;
            w->saveFrame();
            return G_SOURCE_REMOVE;
        },
        self);
}

} // namespace corvane::gtk
