#include "app/AppProcess.hpp"

#include <chrono>
#include <string>
#include <vector>

#include <adwaita.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include "AppId.hpp"
#include "BuildConfig.hpp"
#include "DevCert.hpp"
#include "app/ActivationToken.hpp"
#include "app/DesktopIntegration.hpp"
#include "dialogs/About.hpp"
#include "engine/NetworkSession.hpp"
#include "engine/quirks/SeatlessKeyboard.hpp"
#include "toolkit/GtkCompat.hpp"

#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

namespace corvane::gtk {

namespace {

// Dialogs still open (the engine's print dialog runs a loop of its own) are cancelled, so nothing
// keeps the app from ending.
void cancelDialogs() {
    GListModel* toplevels = gtk_window_get_toplevels();
    std::vector<GtkWidget*> dialogs;
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        auto* window = static_cast<GtkWidget*>(g_list_model_get_item(toplevels, i));
        // An Adwaita dialog outside an Adwaita window sits in a window of its own.
        const bool adwDialog = ADW_IS_MESSAGE_DIALOG(window)
#if CORVANE_ADW_DIALOGS
                               || ADW_IS_DIALOG(gtk_window_get_child(GTK_WINDOW(window)))
#endif
            ;
        if (GTK_IS_DIALOG(window) || adwDialog) dialogs.push_back(window);
        else g_object_unref(window);
    }
    for (GtkWidget* dialog : dialogs) {
        // The engine's print dialog is a GtkDialog on every GTK and answers only to a response; closing an
        // Adwaita dialog answers with its close response.
        if (GTK_IS_DIALOG(dialog)) {
            G_GNUC_BEGIN_IGNORE_DEPRECATIONS
            gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
            G_GNUC_END_IGNORE_DEPRECATIONS
        } else gtk_window_close(GTK_WINDOW(dialog));
        g_object_unref(dialog);
    }
}

// X11 names a window's class after the program unless told otherwise.
void classWindowsByAppId(GdkDisplay* display) {
#ifdef GDK_WINDOWING_X11
    if (!GDK_IS_X11_DISPLAY(display)) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gdk_x11_display_set_program_class(display, corvane::gtk::kAppId);
    G_GNUC_END_IGNORE_DEPRECATIONS
#else
    (void)display;
#endif
}

} // namespace

AppProcess::AppProcess(GApplication* application) : application_(application) {
    // Registration comes before the toolkit starts; a second instance hands over and starts nothing.
    g_signal_connect_swapped(application, "notify::is-registered", G_CALLBACK(+[](AppProcess* p) { p->registered(); }),
                             this);
    g_signal_connect_swapped(application, "startup", G_CALLBACK(+[](AppProcess* p) { p->startUp(); }), this);
    g_signal_connect_swapped(application, "activate", G_CALLBACK(+[](AppProcess* p) { p->activate(); }), this);
    g_signal_connect(application, "open", G_CALLBACK(+[](GApplication*, GFile** files, gint count, gchar*, gpointer p) {
                         static_cast<AppProcess*>(p)->open(files, count);
                     }),
                     this);
    g_signal_connect_swapped(application, "shutdown", G_CALLBACK(+[](AppProcess* p) { p->shutdown(); }), this);
}

AppProcess::~AppProcess() {
    g_signal_handlers_disconnect_by_data(application_, this);
    g_clear_object(&session_);
    delegate_.reset();
    desktop_.reset();
}

void AppProcess::registered() {
    if (!session_ && g_application_get_is_registered(application_) && !g_application_get_is_remote(application_))
        session_ = startNetworkSession();
}

void AppProcess::startUp() {
    quietSeatlessKeyboardReads();
    applyLaunchToken(gdk_display_get_default());
    classWindowsByAppId(gdk_display_get_default());
    desktop_ = std::make_unique<GtkDesktop>(GTK_APPLICATION(application_), settings_, std::exchange(session_, nullptr));
    bundle_ = std::make_unique<GtkBundle>(GTK_APPLICATION(application_));
    bundle_->setQuitHandler([this] { requestQuit(); });
    delegate_ = std::make_unique<shell::AppDelegate>(
        shell::Ports{*desktop_, settings_, clock_, *desktop_, desktop_->notifications(), desktop_->panels(), files_,
                     *bundle_},
        std::string(core::build::version));
    desktop_->delegate().attach(*delegate_);
    // Development builds only: the end-to-end tests shorten the load time-out.
    if (const char* timeout = g_getenv("CORVANE_LOAD_TIMEOUT_MS"); timeout && kDevCertificatePem[0])
        delegate_->setLoadTimeout(std::chrono::milliseconds(g_ascii_strtoull(timeout, nullptr, 10)));
    desktop_->setQuitHandlers([this] { requestQuit(); }, [this] { finishQuit(); });
    GDBusConnection* bus = g_application_get_dbus_connection(application_);
    background_ = std::make_unique<BackgroundPortal>(bus, [this] { requestQuit(); });
    statusIcon_ = std::make_unique<StatusIcon>(
        bus, appIconDirectory(),
        [this] {
            if (launched_ && !finished_) desktop_->activate();
        },
        [this] { requestQuit(); });
    integrateWithDesktop();
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        g_unix_signal_add(
            signal,
            +[](gpointer p) -> gboolean {
                static_cast<AppProcess*>(p)->requestQuit();
                return G_SOURCE_CONTINUE;
            },
            this);
}

void AppProcess::activate() {
    if (!launched_) {
        // One turn of the main loop first: the engine's processes, started by now, get their start-up
        // messages from it, and can set up while the launch runs.
        g_application_hold(application_);
        g_idle_add_full(
            G_PRIORITY_DEFAULT_IDLE,
            +[](gpointer p) -> gboolean {
                auto* self = static_cast<AppProcess*>(p);
                self->launchOnce();
                g_application_release(self->application_);
                return G_SOURCE_REMOVE;
            },
            this, nullptr);
        return;
    }
    auto* window = desktop_->window();
    const bool visible = window && window->isVisible();
    delegate_->applicationShouldHandleReopen(visible);
    // A second launch: GTK has just taken its activation token, which this hands to the compositor.
    if (visible) desktop_->activate();
}

void AppProcess::open(GFile** files, int count) {
    launchOnce();
    std::vector<std::string> uris;
    for (int i = 0; i < count; ++i) {
        g_autofree gchar* uri = g_file_get_uri(files[i]);
        if (uri) uris.emplace_back(uri);
    }
    delegate_->openURLs(uris);
}

// GTK may still run a loop of its own after shutdown (handing over the clipboard): whatever arrives then
// finds the delegate detached, and nothing it reaches is freed until the application has returned.
void AppProcess::shutdown() {
    if (desktop_) desktop_->delegate().detach();
    statusIcon_.reset();
    background_.reset();
    if (desktop_) desktop_->shutdown();
}

void AppProcess::launchOnce() {
    if (launched_) return;
    launched_ = true;
    delegate_->applicationDidFinishLaunching();
    // A closed window leaves the app running: the desktop is asked whether it may.
    if (auto* window = desktop_->window())
        window->setHiddenListener([this] {
            if (!finished_ && background_) background_->request();
        });
}

void AppProcess::requestQuit() {
    if (!delegate_ || !launched_) return finishQuit();
    if (delegate_->applicationShouldTerminate() == shell::TerminateReply::now) return finishQuit();
    if (!holding_) {
        g_application_hold(application_);
        holding_ = true;
    }
}

void AppProcess::finishQuit() {
    if (finished_) return;
    finished_ = true;
    if (delegate_ && launched_) delegate_->applicationWillTerminate();
    if (holding_) g_application_release(application_);
    holding_ = false;
    cancelDialogs();
    g_application_quit(application_);
}

} // namespace corvane::gtk
