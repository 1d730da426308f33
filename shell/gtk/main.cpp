// corvane: the process entry.
#include <memory>
#include <vector>

#include <glib-unix.h>
#include <gtk/gtk.h>

#include "AppDelegate.hpp"
#include "BuildConfig.hpp"
#include "DesktopIntegration.hpp"
#include "GlibClock.hpp"
#include "GtkDesktop.hpp"
#include "SettingsFile.hpp"

namespace {

struct App {
    GApplication* application = nullptr;
    corvane::gtk::SettingsFile settings;
    corvane::gtk::GlibClock clock;
    std::unique_ptr<corvane::gtk::GtkDesktop> desktop;
    std::unique_ptr<corvane::shell::AppDelegate> delegate;
    bool launched = false;
    bool holding = false;
    bool finished = false;
};

void launchOnce(App& app) {
    if (app.launched) return;
    app.launched = true;
    app.delegate->applicationDidFinishLaunching();
}

// Dialogs still open (the engine's print dialog runs a loop of its own) are cancelled, so nothing
// keeps the app from ending.
void cancelDialogs() {
    GListModel* toplevels = gtk_window_get_toplevels();
    std::vector<GtkWidget*> dialogs;
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        auto* window = static_cast<GtkWidget*>(g_list_model_get_item(toplevels, i));
        if (GTK_IS_DIALOG(window)) dialogs.push_back(window);
        else g_object_unref(window);
    }
    for (GtkWidget* dialog : dialogs) {
        gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
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

} // namespace

int main(int argc, char** argv) {
    g_set_application_name("Corvane");
    GtkApplication* application = gtk_application_new("app.corvane.Corvane", G_APPLICATION_HANDLES_OPEN);
    App app;
    app.application = G_APPLICATION(application);

    g_signal_connect(application, "startup", G_CALLBACK(+[](GApplication* gapp, gpointer data) {
        auto& a = *static_cast<App*>(data);
        a.desktop = std::make_unique<corvane::gtk::GtkDesktop>(GTK_APPLICATION(gapp), a.settings);
        a.delegate = std::make_unique<corvane::shell::AppDelegate>(
            corvane::shell::Ports{*a.desktop, a.settings, a.clock, *a.desktop, a.desktop->notifications(),
                                  a.desktop->panels()},
            std::string(corvane::core::build::version));
        a.desktop->setDelegate(a.delegate.get());
        a.desktop->setQuitHandlers([&a] { requestQuit(a); }, [&a] { finishQuit(a); });
        corvane::gtk::integrateWithDesktop();
        for (int signal : {SIGTERM, SIGINT, SIGHUP})
            g_unix_signal_add(signal, +[](gpointer d) -> gboolean {
                requestQuit(*static_cast<App*>(d));
                return G_SOURCE_CONTINUE;
            }, &a);
    }), &app);
    g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
        auto& a = *static_cast<App*>(data);
        if (!a.launched) return launchOnce(a);
        auto* window = a.desktop->window();
        a.delegate->applicationShouldHandleReopen(window && window->isVisible());
    }), &app);
    g_signal_connect(application, "open", G_CALLBACK(+[](GApplication*, GFile** files, gint count, gchar*, gpointer data) {
        auto& a = *static_cast<App*>(data);
        launchOnce(a);
        std::vector<std::string> uris;
        for (gint i = 0; i < count; ++i) {
            gchar* uri = g_file_get_uri(files[i]);
            if (uri) uris.emplace_back(uri);
            g_free(uri);
        }
        a.delegate->openURLs(uris);
    }), &app);
    // GTK may still run a loop of its own after shutdown (handing over the clipboard): whatever arrives
    // then finds no delegate, and nothing it reaches is freed until the application has returned.
    g_signal_connect(application, "shutdown", G_CALLBACK(+[](GApplication*, gpointer data) {
        auto& a = *static_cast<App*>(data);
        if (a.desktop) a.desktop->setDelegate(nullptr);
    }), &app);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    app.delegate.reset();
    app.desktop.reset();
    g_object_unref(application);
    return status;
}
