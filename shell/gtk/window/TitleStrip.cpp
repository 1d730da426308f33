#include "window/TitleStrip.hpp"

#include <cmath>
#include <cstdint>
#include <string>

#include <webkit/webkit.h>

#include "Palette.hpp"
#include "toolkit/Accessible.hpp"
#include "toolkit/GtkCompat.hpp"
#include "window/PaletteColours.hpp"

namespace corvane::gtk {

namespace {

// The menus and buttons must fit the strip exactly: the page starts right below it.
constexpr const char* kLayout =
    "#corvane-strip { min-height: 28px; padding: 0; margin: 0; }\n"
    "#corvane-strip menubar { background: none; box-shadow: none; border: none; min-height: 0; padding: 0;"
    " margin: 0; color: inherit; }\n"
    "#corvane-strip menubar > item { min-height: 0; padding: 3px 8px; }\n"
    "#corvane-strip windowcontrols { margin: 0; padding: 0 2px; }\n"
    "#corvane-strip windowcontrols button, #corvane-strip button.corvane-leave-full-screen { min-height: 22px;"
    " min-width: 22px; padding: 0; margin: 0 2px; color: inherit; }\n";

void installLayout() {
    static bool done = false;
    if (done) return;
    done = true;
    g_autoptr(GtkCssProvider) provider = gtk_css_provider_new();
    loadCss(provider, kLayout);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(provider),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// The theme colour the page's markup gives for the current appearance, as CSS text.
constexpr const char* kThemeScript = R"JS((() => {
  for (const meta of document.querySelectorAll('meta[name="theme-color" i]')) {
    const media = meta.getAttribute("media");
    if (media && !matchMedia(media).matches) continue;
    return (meta.getAttribute("content") || "").trim().slice(0, 100);
  }
  return "";
})())JS";

// Packed 0xRRGGBB; a translucent colour is taken over the ground.
std::uint32_t packOver(const GdkRGBA& colour, std::uint32_t ground) {
    const float alpha = colour.alpha < 0 ? 0 : colour.alpha > 1 ? 1 : colour.alpha;
    auto channel = [&](float value, int shift) {
        const float under = static_cast<float>((ground >> shift) & 0xFF) / 255.0f;
        float mixed = value * alpha + under * (1 - alpha);
        mixed = mixed < 0 ? 0 : mixed > 1 ? 1 : mixed;
        return static_cast<std::uint32_t>(mixed * 255.0f + 0.5f) << shift;
    };
    return channel(colour.red, 16) | channel(colour.green, 8) | channel(colour.blue, 0);
}

// Relative luminance (sRGB); dark ink from the point where it contrasts better than light ink.
bool wantsDarkInk(std::uint32_t colour) {
    auto linear = [](std::uint32_t c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    const double l =
        0.2126 * linear((colour >> 16) & 0xFF) + 0.7152 * linear((colour >> 8) & 0xFF) + 0.0722 * linear(colour & 0xFF);
    return l > 0.179;
}

} // namespace

TitleStrip::TitleStrip(GtkWindow* window, GtkWidget* web) : window_(window), web_(web) {
    installLayout();
    bar_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_name(bar_, "corvane-strip");
    gtk_widget_set_size_request(bar_, -1, height);
    gtk_widget_set_overflow(bar_, GTK_OVERFLOW_HIDDEN);
    GtkWidget* spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    gtk_box_append(GTK_BOX(bar_), spacer);
    // In full screen, maximising means nothing; this takes its place, as in GNOME's own apps.
    leave_ = gtk_button_new_from_icon_name("view-restore-symbolic");
    gtk_widget_set_tooltip_text(leave_, "Leave Full Screen");
    gtk_accessible_update_property(GTK_ACCESSIBLE(leave_), GTK_ACCESSIBLE_PROPERTY_LABEL, "Leave Full Screen", -1);
    gtk_widget_add_css_class(leave_, "flat");
    gtk_widget_add_css_class(leave_, "corvane-leave-full-screen");
    gtk_widget_set_valign(leave_, GTK_ALIGN_CENTER);
    gtk_widget_set_focus_on_click(leave_, FALSE);
    gtk_widget_set_visible(leave_, FALSE);
    g_signal_connect_swapped(leave_, "clicked", G_CALLBACK(gtk_window_unfullscreen), window_);
    gtk_box_append(GTK_BOX(bar_), leave_);
    controls_ = gtk_window_controls_new(GTK_PACK_END);
    gtk_widget_set_valign(controls_, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(bar_), controls_);

    GtkWidget* handle = gtk_window_handle_new();
    gtk_window_handle_set_child(GTK_WINDOW_HANDLE(handle), bar_);
    revealer_ = gtk_revealer_new();
    gtk_revealer_set_transition_type(GTK_REVEALER(revealer_), GTK_REVEALER_TRANSITION_TYPE_SLIDE_DOWN);
    gtk_revealer_set_transition_duration(GTK_REVEALER(revealer_), 150);
    gtk_revealer_set_child(GTK_REVEALER(revealer_), handle);
    gtk_revealer_set_reveal_child(GTK_REVEALER(revealer_), TRUE);
    gtk_widget_set_valign(revealer_, GTK_ALIGN_START);
    gtk_widget_set_margin_top(web_, height);

    // Before the page sees the motion: the page must not keep the strip from showing.
    pointer_ = gtk_event_controller_motion_new();
    gtk_event_controller_set_propagation_phase(pointer_, GTK_PHASE_CAPTURE);
    g_signal_connect(pointer_, "motion", G_CALLBACK(onPointerMoved), this);
    gtk_widget_add_controller(GTK_WIDGET(window_), pointer_);

    colours_.reset(gtk_css_provider_new());
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(colours_.get()),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    reading_.reset(g_cancellable_new());
    paint();
}

TitleStrip::~TitleStrip() {
    g_cancellable_cancel(reading_);
    if (hideTimer_) g_source_remove(hideTimer_);
    g_signal_handlers_disconnect_by_data(pointer_, this);
    gtk_style_context_remove_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(colours_.get()));
}

// The engine reports the theme colour only when it composites; without a GPU it draws directly and never
// does, so the markup is read as well.
void TitleStrip::pageLoadChanged(WebKitLoadEvent event) {
    if (event == WEBKIT_LOAD_COMMITTED) {
        pageTheme_.reset();
        paint();
    } else if (event == WEBKIT_LOAD_FINISHED) {
        readPageTheme();
    }
}

void TitleStrip::setMenuBar(GMenuModel* model) {
    GtkWidget* bar = gtk_popover_menu_bar_new_from_model(model);
    gtk_widget_set_valign(bar, GTK_ALIGN_CENTER);
    gtk_box_prepend(GTK_BOX(bar_), bar);
    nameMenuRows(bar);
    // Its menus are made again for a changed model, after the bar has seen the change.
    g_signal_connect_object(model, "items-changed",
                            G_CALLBACK(+[](GMenuModel*, int, int, int, GtkWidget* b) { nameMenuRows(b); }), bar,
                            G_CONNECT_AFTER);
}

void TitleStrip::setDark(bool dark) {
    dark_ = dark;
    paint();
    // The page may give another colour for the other appearance.
    readPageTheme();
}

void TitleStrip::readPageTheme() {
    if (!WEBKIT_IS_WEB_VIEW(web_) || webkit_web_view_is_loading(WEBKIT_WEB_VIEW(web_))) return;
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(web_), kThemeScript, -1, "corvane-strip", nullptr, reading_,
                                        onPageThemeRead, this);
}

void TitleStrip::onPageThemeRead(GObject* source, GAsyncResult* result, gpointer data) {
    g_autoptr(GError) error = nullptr;
    g_autoptr(JSCValue) value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    // Cancelled: the strip is gone. Otherwise the page is gone or refused; its colour stays as it was.
    if (!value) return;
    auto* self = static_cast<TitleStrip*>(data);
    std::optional<GdkRGBA> theme;
    if (jsc_value_is_string(value)) {
        g_autofree gchar* text = jsc_value_to_string(value);
        GdkRGBA parsed;
        if (text && *text && gdk_rgba_parse(&parsed, text)) theme = parsed;
    }
    self->pageTheme_ = theme;
    self->paint();
}

void TitleStrip::paint() {
    const std::uint32_t ground = shell::Palette::ground.resolve(dark_);
    GdkRGBA theme{};
    if (!(WEBKIT_IS_WEB_VIEW(web_) && webkit_web_view_get_theme_color(WEBKIT_WEB_VIEW(web_), &theme)) && pageTheme_)
        theme = *pageTheme_;
    const bool themed = theme.alpha > 0;
    const std::uint32_t colour = themed ? packOver(theme, ground) : ground;
    const std::uint32_t ink = shell::Palette::ink.resolve(!wantsDarkInk(colour));
    const std::string css = "#corvane-strip { background-color: " + hex(colour) + "; color: " + hex(ink) + "; }\n";
    loadCss(colours_, css);
}

// The desktop's buttons at the end of the strip, without maximise.
static std::string withoutMaximize() {
    g_autofree char* layout = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-decoration-layout", &layout, nullptr);
    std::string end = layout ? layout : "";
    if (const auto colon = end.find(':'); colon != std::string::npos) end.erase(0, colon + 1);
    // Appended, not `"," + std::string`: GCC 12 -O3 misreads that (-Wrestrict).
    std::string kept = ":";
    g_auto(GStrv) names = g_strsplit(end.c_str(), ",", -1);
    for (char** name = names; *name; ++name)
        if (**name && !g_str_equal(*name, "maximize")) kept.append(kept.size() > 1 ? "," : "").append(*name);
    return kept;
}

void TitleStrip::setFullScreen(bool fullScreen) {
    fullScreen_ = fullScreen;
    gtk_widget_set_visible(leave_, fullScreen);
    gtk_window_controls_set_decoration_layout(GTK_WINDOW_CONTROLS(controls_),
                                              fullScreen ? withoutMaximize().c_str() : nullptr);
    gtk_widget_set_margin_top(web_, fullScreen ? 0 : height);
    slide(!fullScreen);
}

void TitleStrip::slide(bool in) {
    if (hideTimer_) {
        g_source_remove(hideTimer_);
        hideTimer_ = 0;
    }
    if (gtk_revealer_get_reveal_child(GTK_REVEALER(revealer_)) != in)
        gtk_revealer_set_reveal_child(GTK_REVEALER(revealer_), in);
}

namespace {

bool hasMappedPopover(GtkWidget* widget) {
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        if ((GTK_IS_POPOVER(child) && gtk_widget_get_mapped(child)) || hasMappedPopover(child)) return true;
    return false;
}

} // namespace

// A menu opened from the strip lives in a popover inside it.
bool TitleStrip::menuOpen() const { return hasMappedPopover(bar_); }

void TitleStrip::onPointerMoved(GtkEventControllerMotion*, double, double y, gpointer data) {
    auto* self = static_cast<TitleStrip*>(data);
    self->pointerY_ = y;
    if (!self->fullScreen_) return;
    if (y < 2) self->slide(true);
    else if (y > height + 8 && !self->hideTimer_ && gtk_revealer_get_reveal_child(GTK_REVEALER(self->revealer_)))
        // A moment's grace for overshooting the strip on the way to a menu.
        self->hideTimer_ = g_timeout_add(300, hideLater, self);
}

gboolean TitleStrip::hideLater(gpointer data) {
    auto* self = static_cast<TitleStrip*>(data);
    // Kept while one of its menus is open, and hidden once the pointer is off it after that.
    if (self->fullScreen_ && self->menuOpen()) return G_SOURCE_CONTINUE;
    self->hideTimer_ = 0;
    if (self->fullScreen_ && self->pointerY_ > height) self->slide(false);
    return G_SOURCE_REMOVE;
}

} // namespace corvane::gtk
