#include "updater/UpdateWindows.hpp"

#include <memory>
#include <utility>

#include "BuildConfig.hpp"
#include "DevCert.hpp"
#include "Url.hpp"
#include "desktop/LaunchContext.hpp"
#include "dialogs/About.hpp"

namespace corvane::gtk {

namespace {

GtkWidget* label(const std::string& text, bool heading) {
    GtkWidget* widget = gtk_label_new(nullptr);
    if (heading) {
        g_autofree gchar* markup =
            g_markup_printf_escaped("<span weight=\"bold\" size=\"larger\">%s</span>", text.c_str());
        gtk_label_set_markup(GTK_LABEL(widget), markup);
    } else {
        gtk_label_set_text(GTK_LABEL(widget), text.c_str());
    }
    gtk_label_set_wrap(GTK_LABEL(widget), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(widget), 60);
    gtk_label_set_xalign(GTK_LABEL(widget), 0);
    return widget;
}

// The feed chooses the notes' address: they get a session of their own, with none of the app's cookies,
// storage or cache, and no scripts. The first load is theirs; no later navigation is loaded in here, and
// those a person asked for (a click) go to the browser; frames and refreshes open no browser tabs.
WebKitNetworkSession* notesSession() {
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    auto base = core::Url::parse(core::build::baseURL);
    if (kDevCertificatePem[0] != '\0' && base) {
        g_autoptr(GTlsCertificate) certificate = g_tls_certificate_new_from_pem(kDevCertificatePem, -1, nullptr);
        if (certificate)
            webkit_network_session_allow_tls_certificate_for_host(session, certificate, base->hostLower().c_str());
    }
    return session;
}

gboolean onNotesPolicy(WebKitWebView* view, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type, gpointer) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return FALSE;
    auto* action = webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    // The first load, with the redirects it takes, until it commits.
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION &&
        !g_object_get_data(G_OBJECT(view), "corvane-committed"))
        return FALSE;
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (webkit_navigation_action_is_user_gesture(action) && uri &&
        (g_str_has_prefix(uri, "https://") || g_str_has_prefix(uri, "http://"))) {
        g_autoptr(GAppLaunchContext) context = newLaunchContext();
        g_app_info_launch_default_for_uri_async(uri, context, nullptr, nullptr, nullptr);
    }
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

GtkWidget* notesView(const update::FeedItem& item) {
    g_autoptr(WebKitSettings) settings = webkit_settings_new_with_settings(
        "enable-javascript", FALSE, "enable-javascript-markup", FALSE, "enable-developer-extras", FALSE, nullptr);
    g_autoptr(WebKitNetworkSession) session = notesSession();
    GtkWidget* view =
        GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, "settings", settings, nullptr));
    g_signal_connect(view, "decide-policy", G_CALLBACK(onNotesPolicy), nullptr);
    g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView* v, WebKitLoadEvent event, gpointer) {
                         if (event == WEBKIT_LOAD_COMMITTED)
                             g_object_set_data(G_OBJECT(v), "corvane-committed", GINT_TO_POINTER(1));
                     }),
                     nullptr);
    gtk_widget_set_size_request(view, 520, 220);
    if (!item.releaseNotesURL.empty() && g_str_has_prefix(item.releaseNotesURL.c_str(), "https://"))
        webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), item.releaseNotesURL.c_str());
    else webkit_web_view_load_html(WEBKIT_WEB_VIEW(view), item.description.c_str(), nullptr);
    GtkWidget* frame = gtk_frame_new(nullptr);
    gtk_frame_set_child(GTK_FRAME(frame), view);
    gtk_widget_set_vexpand(frame, TRUE);
    return frame;
}

} // namespace

UpdateWindows::~UpdateWindows() { closeAll(); }

void UpdateWindows::closeAll() {
    buttons_.clear();
    closed_ = nullptr;
    progress_ = nullptr;
    if (GtkWindow* window = std::exchange(window_, nullptr)) {
        g_signal_handlers_disconnect_by_data(window, this);
        gtk_window_destroy(window);
    }
}

gboolean UpdateWindows::onCloseRequest(GtkWindow*, gpointer data) {
    auto* self = static_cast<UpdateWindows*>(data);
    auto closed = std::move(self->closed_);
    self->closeAll();
    if (closed) closed();
    return TRUE;
}

void UpdateWindows::present(Spec spec) {
    closeAll();
    prepareWindows();
    GtkWidget* window = gtk_window_new();
    window_ = GTK_WINDOW(window);
    gtk_window_set_application(window_, app_);
    gtk_window_set_title(window_, spec.title.c_str());
    gtk_window_set_resizable(window_, spec.extra != nullptr);
    closed_ = std::move(spec.closed);
    buttons_ = std::move(spec.buttons);
    g_signal_connect(window, "close-request", G_CALLBACK(onCloseRequest), this);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    for (auto margin : {&gtk_widget_set_margin_top, &gtk_widget_set_margin_bottom, &gtk_widget_set_margin_start,
                        &gtk_widget_set_margin_end})
        margin(content, 20);
    GtkWidget* top = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 16);
    // A bundle's icon is not in the icon theme until the desktop integration has put it there.
    GtkIconTheme* theme = gtk_icon_theme_get_for_display(gtk_widget_get_display(window));
    GtkWidget* icon = gtk_image_new_from_icon_name(
        gtk_icon_theme_has_icon(theme, kAppIconName) ? kAppIconName : "system-software-update");
    gtk_image_set_pixel_size(GTK_IMAGE(icon), 64);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_append(GTK_BOX(top), icon);
    GtkWidget* texts = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_widget_set_hexpand(texts, TRUE);
    gtk_box_append(GTK_BOX(texts), label(spec.heading, true));
    if (!spec.body.empty()) gtk_box_append(GTK_BOX(texts), label(spec.body, false));
    gtk_box_append(GTK_BOX(top), texts);
    gtk_box_append(GTK_BOX(content), top);
    if (spec.extra) gtk_box_append(GTK_BOX(content), spec.extra);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget* defaultButton = nullptr;
    GtkWidget* spacer = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_widget_set_hexpand(spacer, TRUE);
    for (std::size_t pass = 0; pass < 2; ++pass) {
        if (pass == 1) gtk_box_append(GTK_BOX(row), spacer);
        for (std::size_t i = 0; i < buttons_.size(); ++i) {
            if (buttons_[i].start != (pass == 0)) continue;
            GtkWidget* button = gtk_button_new_with_label(buttons_[i].label.c_str());
            g_object_set_data(G_OBJECT(button), "corvane-index", GSIZE_TO_POINTER(i));
            g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton* b, gpointer data) {
                                 auto* self = static_cast<UpdateWindows*>(data);
                                 const std::size_t index =
                                     GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(b), "corvane-index"));
                                 auto action = std::move(self->buttons_[index].action);
                                 self->closeAll();
                                 if (action) action();
                             }),
                             this);
            if (i + 1 == buttons_.size()) {
                gtk_widget_add_css_class(button, "suggested-action");
                gtk_window_set_default_widget(window_, button);
                defaultButton = button;
            }
            gtk_box_append(GTK_BOX(row), button);
        }
    }
    gtk_box_append(GTK_BOX(content), row);
    gtk_window_set_child(window_, content);
    gtk_window_present(window_);
    // Return answers with the default button, as in any dialog.
    if (defaultButton) gtk_widget_grab_focus(defaultButton);
}

void UpdateWindows::showFound(const update::FeedItem& item, const std::string& running, bool automatic,
                              std::function<void(Answer, bool)> done) {
    GtkWidget* extra = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    const bool notes = !item.releaseNotesURL.empty() || !item.description.empty();
    if (notes) {
        gtk_box_append(GTK_BOX(extra), label("Release Notes:", false));
        gtk_box_append(GTK_BOX(extra), notesView(item));
    }
    GtkWidget* check = gtk_check_button_new_with_label("Automatically download and install updates in the future");
    gtk_check_button_set_active(GTK_CHECK_BUTTON(check), automatic);
    gtk_box_append(GTK_BOX(extra), check);
    // The answer goes out once, whichever way the window ends, with the box as it was.
    struct State {
        std::function<void(Answer, bool)> done;
        bool automatic;
    };
    auto state = std::make_shared<State>(State{std::move(done), automatic});
    g_signal_connect_data(
        check, "toggled", G_CALLBACK(+[](GtkCheckButton* b, gpointer d) {
            (*static_cast<std::shared_ptr<State>*>(d))->automatic = gtk_check_button_get_active(b);
        }),
        new std::shared_ptr<State>(state),
        +[](gpointer d, GClosure*) { delete static_cast<std::shared_ptr<State>*>(d); }, GConnectFlags(0));
    auto keep = [state](Answer a) {
        return [state, a] {
            if (auto done = std::exchange(state->done, nullptr)) done(a, state->automatic);
        };
    };
    present({"Software Update",
             "A new version of Corvane is available!",
             "Corvane " + item.displayVersion + " is now available\u2014you have " + running +
                 ". Would you like to download it now?",
             extra,
             {{"Skip This Version", keep(Answer::skip), true},
              {"Remind Me Later", keep(Answer::later)},
              {"Install Update", keep(Answer::install)}},
             keep(Answer::later)});
}

void UpdateWindows::showDownloading(std::function<void()> cancel) {
    GtkWidget* bar = gtk_progress_bar_new();
    gtk_widget_set_size_request(bar, 320, -1);
    present({"Updating Corvane", "Downloading update\u2026", "", bar, {{"Cancel", cancel}}, cancel});
    progress_ = GTK_PROGRESS_BAR(bar);
}

void UpdateWindows::showProgress(std::uint64_t received, std::uint64_t total) {
    if (!progress_ || total == 0) return;
    gtk_progress_bar_set_fraction(progress_, static_cast<double>(received) / static_cast<double>(total));
    g_autofree gchar* got = g_format_size(received);
    g_autofree gchar* all = g_format_size(total);
    g_autofree gchar* text = g_strdup_printf("%s of %s", got, all);
    gtk_progress_bar_set_text(progress_, text);
    gtk_progress_bar_set_show_text(progress_, TRUE);
}

void UpdateWindows::showReady(const update::FeedItem& item, std::function<void()> relaunch) {
    present({"Ready to Install",
             "Ready to Install",
             "Corvane " + item.displayVersion +
                 " has been downloaded and is ready to use! It will be installed when Corvane quits.",
             nullptr,
             {{"Install and Relaunch", std::move(relaunch)}},
             nullptr});
}

void UpdateWindows::showUpToDate(const std::string& running) {
    present({"Up to Date",
             "You're up to date!",
             "Corvane " + running + " is currently the newest version available.",
             nullptr,
             {{"OK", nullptr}},
             nullptr});
}

void UpdateWindows::showError(const std::string& reason) {
    present({"Update Error", "Update Error!", reason, nullptr, {{"OK", nullptr}}, nullptr});
}

void UpdateWindows::askAutomaticChecks(std::function<void(bool)> done) {
    auto shared = std::make_shared<std::function<void(bool)>>(std::move(done));
    auto answer = [shared](bool yes) {
        return [shared, yes] {
            if (auto done = std::exchange(*shared, nullptr)) done(yes);
        };
    };
    present(
        {"Automatic Updates",
         "Check for updates automatically?",
         "Should Corvane automatically check for updates? You can always check for updates manually from the Corvane menu.",
         nullptr,
         {{"Don't Check", answer(false)}, {"Check Automatically", answer(true)}},
         answer(false)});
}

void UpdateWindows::showWithdrawn(const std::string& version, const std::string& running) {
    const std::string update = version.empty() ? "The update" : "Corvane " + version;
    present({"Update Withdrawn",
             "The update was withdrawn",
             update + " could not start on this computer, so Corvane " + running +
                 " is back in its place. That version will not be installed again.",
             nullptr,
             {{"OK", nullptr}},
             nullptr});
}

} // namespace corvane::gtk
