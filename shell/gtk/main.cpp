// corvane: the process entry.
#include <memory>
#include <utility>
#include <vector>

#include <adwaita.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include "AppDelegate.hpp"
#include "AppId.hpp"
#include "BuildConfig.hpp"
#include "DevCert.hpp"
#include "app/ActivationToken.hpp"
#include "app/Application.hpp"
#include "app/DesktopIntegration.hpp"
#include "app/GtkBundle.hpp"
#include "app/GtkClock.hpp"
#include "app/GtkFiles.hpp"
#include "app/GtkSettingsStore.hpp"
#include "desktop/BackgroundPortal.hpp"
#include "desktop/GtkDesktop.hpp"
#include "desktop/StatusIcon.hpp"
#include "dialogs/About.hpp"
#include "engine/NetworkSession.hpp"
#include "engine/quirks/NoGpuDrawing.hpp"
#include "engine/quirks/SeatlessKeyboard.hpp"
#include "toolkit/GtkCompat.hpp"

#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

namespace {

struct App {
    GApplication* application = nullptr;
    // Started as soon as this process knows it is the running instance; handed to the desktop.
    WebKitNetworkSession* session = nullptr;
    corvane::gtk::GtkSettingsStore settings;
    corvane::gtk::GtkClock clock;
    std::unique_ptr<corvane::gtk::GtkDesktop> desktop;
    corvane::gtk::GtkFiles files;
    std::unique_ptr<corvane::gtk::GtkBundle> bundle;
    std::unique_ptr<corvane::shell::AppDelegate> delegate;
    std::unique_ptr<corvane::gtk::BackgroundPortal> background;
    std::unique_ptr<corvane::gtk::StatusIcon> statusIcon;
    bool launched = false;
    bool holding = false;
    bool finished = false;
};

void launchOnce(App& app) {
    if (app.launched) return;
    app.launched = true;
    app.delegate->applicationDidFinishLaunching();
    // A closed window leaves the app running: the desktop is asked whether it may.
    if (auto* window = app.desktop->window())
        g_signal_connect(window->window(), "notify::visible", G_CALLBACK(+[](GObject* w, GParamSpec*, gpointer data) {
                             auto& a = *static_cast<App*>(data);
                             if (!gtk_widget_get_visible(GTK_WIDGET(w)) && !a.finished && a.background)
                                 a.background->request();
                         }),
                         &app);
}

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

void finishQuit(App& app) {
    if (app.finished) return;
    app.finished = true;
    if (app.delegate && app.launched) app.delegate->applicationWillTerminate();
    if (app.holding) g_application_release(app.application);
    app.holding = false;
    cancelDialogs();
    g_application_quit(app.application);
}

// A quit from the menu, its accelerator or the session: the page may get to say goodbye first.
void requestQuit(App& app) {
    if (!app.delegate || !app.launched) return finishQuit(app);
    if (app.delegate->applicationShouldTerminate() == corvane::shell::TerminateReply::now) return finishQuit(app);
    if (!app.holding) {
        g_application_hold(app.application);
        app.holding = true;
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

// --version is answered here, before anything reaches a running instance or the display.
gint handleLocalOptions(GApplication*, GVariantDict* options, gpointer) {
    if (g_variant_dict_contains(options, "version")) {
        g_print("Corvane %s\n", corvane::core::build::version.data());
        return 0;
    }
    // What a screen reader calls the app (GTK reads the program name); set after the command line so
    // that --help still names the command. The windows' class, which docks match with the desktop
    // entry's StartupWMClass, is the app id: see the start-up.
    g_set_prgname("Corvane");
    return -1;
}

int main(int argc, char** argv) {
    corvane::gtk::skipGpuProbesWithoutGpu();
    corvane::gtk::adoptActivationToken();
    g_set_application_name("Corvane");
    GtkApplication* application = corvane::gtk::newApplication(corvane::gtk::kAppId, G_APPLICATION_HANDLES_OPEN);
    App app;
    app.application = G_APPLICATION(application);
    g_application_add_main_option(app.application, "version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE,
                                  "Show the version and exit", nullptr);
    g_application_set_option_context_parameter_string(app.application, "[URL]");
    g_application_set_option_context_summary(
        app.application,
        "Opens the Corvane window, or brings it forward if Corvane is already running.\n"
        "URL: a corvane-desktop: link (a sign-in return) for the running window.");
    g_signal_connect(application, "handle-local-options", G_CALLBACK(handleLocalOptions), nullptr);

    g_signal_connect(
        application, "startup", G_CALLBACK(+[](GApplication* gapp, gpointer data) {
            auto& a = *static_cast<App*>(data);
            corvane::gtk::quietSeatlessKeyboardReads();
            corvane::gtk::applyLaunchToken(gdk_display_get_default());
            classWindowsByAppId(gdk_display_get_default());
            a.desktop = std::make_unique<corvane::gtk::GtkDesktop>(GTK_APPLICATION(gapp), a.settings,
                                                                   std::exchange(a.session, nullptr));
            a.bundle = std::make_unique<corvane::gtk::GtkBundle>(GTK_APPLICATION(gapp));
            a.bundle->setQuitHandler([&a] { requestQuit(a); });
            a.delegate = std::make_unique<corvane::shell::AppDelegate>(
                corvane::shell::Ports{*a.desktop, a.settings, a.clock, a.desktop->services(),
                                      a.desktop->notifications(), a.desktop->panels(), a.files, *a.bundle},
                std::string(corvane::core::build::version));
            a.desktop->delegate().attach(*a.delegate);
            // Development builds only: the end-to-end tests shorten the load time-out.
            if (const char* timeout = g_getenv("CORVANE_LOAD_TIMEOUT_MS"); timeout && kDevCertificatePem[0])
                a.delegate->setLoadTimeout(std::chrono::milliseconds(g_ascii_strtoull(timeout, nullptr, 10)));
            a.desktop->setQuitHandlers([&a] { requestQuit(a); }, [&a] { finishQuit(a); });
            GDBusConnection* bus = g_application_get_dbus_connection(gapp);
            a.background = std::make_unique<corvane::gtk::BackgroundPortal>(bus, [&a] { requestQuit(a); });
            a.statusIcon = std::make_unique<corvane::gtk::StatusIcon>(
                bus, corvane::gtk::appIconDirectory(),
                [&a] {
                    if (a.launched && !a.finished) a.desktop->activate();
                },
                [&a] { requestQuit(a); });
            corvane::gtk::integrateWithDesktop();
            for (int signal : {SIGTERM, SIGINT, SIGHUP})
                g_unix_signal_add(
                    signal,
                    +[](gpointer d) -> gboolean {
                        requestQuit(*static_cast<App*>(d));
                        return G_SOURCE_CONTINUE;
                    },
                    &a);
        }),
        &app);
    g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
                         auto& a = *static_cast<App*>(data);
                         if (!a.launched) {
                             // One turn of the main loop first: the engine's processes, started by now, get
                             // their start-up messages from it, and can set up while the launch runs.
                             g_application_hold(a.application);
                             g_idle_add_full(
                                 G_PRIORITY_DEFAULT_IDLE,
                                 +[](gpointer d) -> gboolean {
                                     auto& app = *static_cast<App*>(d);
                                     launchOnce(app);
                                     g_application_release(app.application);
                                     return G_SOURCE_REMOVE;
                                 },
                                 &a, nullptr);
                             return;
                         }
                         auto* window = a.desktop->window();
                         const bool visible = window && window->isVisible();
                         a.delegate->applicationShouldHandleReopen(visible);
                         // A second launch: GTK has just taken its activation token, which this hands to the compositor.
                         if (visible) a.desktop->activate();
                     }),
                     &app);
    g_signal_connect(application, "open",
                     G_CALLBACK(+[](GApplication*, GFile** files, gint count, gchar*, gpointer data) {
                         auto& a = *static_cast<App*>(data);
                         launchOnce(a);
                         std::vector<std::string> uris;
                         for (gint i = 0; i < count; ++i) {
                             gchar* uri = g_file_get_uri(files[i]);
                             if (uri) uris.emplace_back(uri);
                             g_free(uri);
                         }
                         a.delegate->openURLs(uris);
                     }),
                     &app);
    // GTK may still run a loop of its own after shutdown (handing over the clipboard): whatever arrives
    // then finds the delegate detached, and nothing it reaches is freed until the application has returned.
    g_signal_connect(application, "shutdown", G_CALLBACK(+[](GApplication*, gpointer data) {
                         auto& a = *static_cast<App*>(data);
                         if (a.desktop) a.desktop->delegate().detach();
                         a.statusIcon.reset();
                         a.background.reset();
                     }),
                     &app);
    // Registration comes before the toolkit starts; a second instance hands over and starts nothing.
    g_signal_connect(application, "notify::is-registered",
                     G_CALLBACK(+[](GApplication* gapp, GParamSpec*, gpointer data) {
                         auto& a = *static_cast<App*>(data);
                         if (!a.session && g_application_get_is_registered(gapp) && !g_application_get_is_remote(gapp))
                             a.session = corvane::gtk::startNetworkSession();
                     }),
                     &app);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    g_clear_object(&app.session);
    app.delegate.reset();
    app.desktop.reset();
    g_object_unref(application);
    return status;
}
