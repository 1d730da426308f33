#include "app/GtkBundle.hpp"

#include "AppId.hpp"
#include "Relaunch.hpp"
#include "app/DesktopIntegration.hpp"
#include "dialogs/About.hpp"
#include "engine/quirks/NoGpuDrawing.hpp"
#include "toolkit/Accessible.hpp"
#include "toolkit/GtkCompat.hpp"

#include <unistd.h>

namespace corvane::gtk {

namespace {

// The folder holding bin/corvane for the executable of process `pid`, or empty when it is not in a bin folder.
std::string bundleOf(const std::string& pid) {
    g_autofree char* exe = g_file_read_link(("/proc/" + pid + "/exe").c_str(), nullptr);
    if (!exe) return {};
    g_autofree char* bin = g_path_get_dirname(exe);
    g_autofree char* binName = g_path_get_basename(bin);
    g_autofree char* root = g_path_get_dirname(bin);
    return g_str_equal(binName, "bin") && !g_str_equal(root, "/") ? root : "";
}

GVariant* busCall(GDBusConnection* bus, const char* dest, const char* path, const char* iface, const char* method,
                  GVariant* args, const char* replyType) {
    return g_dbus_connection_call_sync(bus, dest, path, iface, method, args,
                                       replyType ? G_VARIANT_TYPE(replyType) : nullptr, G_DBUS_CALL_FLAGS_NONE, 2000,
                                       nullptr, nullptr);
}

// An alert waiting for its answer in a loop of its own.
struct Waiting {
    GMainLoop* loop;
    GtkWidget* box = nullptr;
    int response = -1;
    bool checked = false;
};

} // namespace

std::string GtkBundle::bundlePath() { return bundleOf("self"); }

std::string GtkBundle::homePath() { return g_get_home_dir(); }

core::Placement::Places GtkBundle::places() {
    std::vector<std::string> downloads;
    for (auto dir : {G_USER_DIRECTORY_DOWNLOAD, G_USER_DIRECTORY_DESKTOP})
        if (const char* path = g_get_user_special_dir(dir)) downloads.emplace_back(path);
    // Without the user's folder list GLib knows only the desktop; browsers still save into ~/Downloads.
    if (!g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD))
        downloads.push_back(std::string(g_get_home_dir()) + "/Downloads");
    return core::Placement::Places::forLinux(g_get_user_name(), downloads, g_get_home_dir());
}

shell::LaunchAlertAnswer GtkBundle::runLaunchAlert(const shell::LaunchAlert& alert) {
    // No window exists yet: the alert stands alone, modal, and start-up waits for it as for any modal alert.
    prepareWindows();
#if CORVANE_ADW_DIALOGS
    // Shown with no parent, an Adwaita dialog gets a window of its own; closed, it gives its close response.
    auto* dialog = ADW_ALERT_DIALOG(adw_alert_dialog_new(alert.message.c_str(), alert.informative.c_str()));
    for (std::size_t i = alert.buttons.size(); i-- > 0;)
        adw_alert_dialog_add_response(dialog, std::to_string(i).c_str(), alert.buttons[i].c_str());
    adw_alert_dialog_set_default_response(dialog, "0");
    adw_alert_dialog_set_close_response(dialog, "dismissed");
    GtkWidget* box = nullptr;
    if (alert.checkBox) {
        box = gtk_check_button_new_with_label(alert.checkBox->c_str());
        adw_alert_dialog_set_extra_child(dialog, box);
    }
    nameButtons(GTK_WIDGET(dialog));
#if ADW_CHECK_VERSION(1, 6, 0)
    // Its two buttons side by side, as on the older release, rather than stacked in a narrow window.
    adw_alert_dialog_set_prefer_wide_layout(dialog, TRUE);
#endif
    g_object_ref_sink(dialog);
    Waiting waiting{g_main_loop_new(nullptr, FALSE), box};
    g_signal_connect(dialog, "response", G_CALLBACK(+[](AdwAlertDialog*, const char* response, gpointer data) {
                         auto* w = static_cast<Waiting*>(data);
                         if (!g_main_loop_is_running(w->loop)) return;
                         char* end = nullptr;
                         const long index = g_ascii_strtoll(response, &end, 10);
                         w->response = end && end != response && *end == '\0' ? static_cast<int>(index) : -1;
                         w->checked = w->box && gtk_check_button_get_active(GTK_CHECK_BUTTON(w->box));
                         g_main_loop_quit(w->loop);
                     }),
                     &waiting);
    adw_dialog_present(ADW_DIALOG(dialog), nullptr);
    g_main_loop_run(waiting.loop);
    g_main_loop_unref(waiting.loop);
    g_signal_handlers_disconnect_by_data(dialog, &waiting);
    // A button leaves it closing; a quit may leave it open.
    if (gtk_widget_get_parent(GTK_WIDGET(dialog))) adw_dialog_force_close(ADW_DIALOG(dialog));
    g_object_unref(dialog);
#else
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_NONE, "%s",
                                               alert.message.c_str());
    gtk_window_set_application(GTK_WINDOW(dialog), app_);
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", alert.informative.c_str());
    // Last to first, so the first (default) button sits at the trailing end.
    GtkWidget* first = nullptr;
    for (std::size_t i = alert.buttons.size(); i-- > 0;)
        first = gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[i].c_str(), static_cast<int>(i));
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    GtkWidget* box = nullptr;
    if (alert.checkBox) {
        box = gtk_check_button_new_with_label(alert.checkBox->c_str());
        gtk_box_append(GTK_BOX(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))), box);
    }
    nameButtons(dialog);

    // Escape and the window manager's close answer too, and then GtkDialog destroys the window on its own
    // once the answer is given: the tick is read in the answer, and the dialog is kept until read.
    g_object_ref(dialog);
    Waiting waiting{g_main_loop_new(nullptr, FALSE), box};
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
                         auto* w = static_cast<Waiting*>(data);
                         if (!g_main_loop_is_running(w->loop)) return;
                         w->response = response;
                         w->checked = w->box && gtk_check_button_get_active(GTK_CHECK_BUTTON(w->box));
                         g_main_loop_quit(w->loop);
                     }),
                     &waiting);
    gtk_window_present(GTK_WINDOW(dialog));
    if (first) gtk_widget_grab_focus(first);
    g_main_loop_run(waiting.loop);
    g_main_loop_unref(waiting.loop);
    g_signal_handlers_disconnect_by_data(dialog, &waiting);
    // A close has destroyed it already; a button has not.
    if (gtk_widget_get_realized(dialog) || gtk_widget_get_visible(dialog)) gtk_window_destroy(GTK_WINDOW(dialog));
    g_object_unref(dialog);

#endif

    shell::LaunchAlertAnswer answer;
    // Escape and the close are no button's: the delegate takes them as "Not Now".
    answer.button =
        waiting.response >= 0 && waiting.response < static_cast<int>(alert.buttons.size()) ? waiting.response : -1;
    answer.checked = waiting.checked;
    return answer;
}

// Only one copy owns the app id on the session bus; any other copy hands over to it before it gets here.
// So the copy found is the one that owns the id, when that is not this process.
std::vector<std::string> GtkBundle::runningCopies() {
    GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(app_));
    if (!bus) return {};
    g_autoptr(GVariant) reply = busCall(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                        "GetConnectionUnixProcessID", g_variant_new("(s)", kAppId), "(u)");
    if (!reply) return {};
    guint32 pid = 0;
    g_variant_get(reply, "(u)", &pid);
    if (pid == 0 || static_cast<pid_t>(pid) == getpid()) return {};
    std::string root = bundleOf(std::to_string(pid));
    if (root.empty()) return {};
    return {root};
}

void GtkBundle::activateCopy(const std::string&) {
    GDBusConnection* bus = g_application_get_dbus_connection(G_APPLICATION(app_));
    if (!bus) return;
    GVariantBuilder platform;
    g_variant_builder_init(&platform, G_VARIANT_TYPE("a{sv}"));
    g_autoptr(GVariant) reply = busCall(bus, kAppId, kAppObjectPath, "org.freedesktop.Application", "Activate",
                                        g_variant_new("(a{sv})", &platform), nullptr);
}

void GtkBundle::bundleMoved(const std::string& newPath) {
    // The launcher entry follows at once, even should the moved copy fail to start and announce itself.
    announceBundle(shell::executableIn(newPath), UserDirs{g_get_user_data_dir(), g_get_user_config_dir()});
}

long GtkBundle::processId() { return static_cast<long>(getpid()); }

void GtkBundle::spawnDetached(const std::vector<std::string>& argv) { spawnDetachedProcess(argv); }

void spawnDetachedProcess(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    // Without DO_NOT_REAP_CHILD GLib forks twice, so the script is nobody's child to wait for.
    const auto flags =
        static_cast<GSpawnFlags>(G_SPAWN_STDIN_FROM_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL);
    GStrv environment = environmentWithoutGpuProbeSwitches();
    g_spawn_async("/", args.data(), environment, flags, nullptr, nullptr, nullptr, nullptr);
    g_strfreev(environment);
}

void GtkBundle::terminate() {
    if (quit_) quit_();
}

} // namespace corvane::gtk
