// corvane: the process entry.
#include <memory>

#include <gtk/gtk.h>

#include "AppDelegate.hpp"
#include "BuildConfig.hpp"
#include "GlibClock.hpp"
#include "GtkDesktop.hpp"
#include "SettingsFile.hpp"

namespace {

struct App {
    corvane::gtk::SettingsFile settings;
    corvane::gtk::GlibClock clock;
    std::unique_ptr<corvane::gtk::GtkDesktop> desktop;
    std::unique_ptr<corvane::shell::AppDelegate> delegate;
    bool launched = false;
};

void launchOnce(App& app) {
    if (app.launched) return;
    app.launched = true;
    app.delegate->applicationDidFinishLaunching();
}

} // namespace

int main(int argc, char** argv) {
    // The GL renderer can show a black window under virtual X servers; cairo is always right here.
    if (!g_getenv("GSK_RENDERER") && g_getenv("CORVANE_SOFTWARE_RENDERING")) g_setenv("GSK_RENDERER", "cairo", TRUE);

    GtkApplication* application = gtk_application_new("app.corvane.Corvane", G_APPLICATION_HANDLES_OPEN);
    App app;
    g_signal_connect(application, "startup", G_CALLBACK(+[](GApplication* gapp, gpointer data) {
        auto& a = *static_cast<App*>(data);
        a.desktop = std::make_unique<corvane::gtk::GtkDesktop>(GTK_APPLICATION(gapp), a.settings);
        a.delegate = std::make_unique<corvane::shell::AppDelegate>(
            corvane::shell::Ports{*a.desktop, a.settings, a.clock, *a.desktop},
            std::string(corvane::core::build::version));
        a.desktop->setDelegate(a.delegate.get());
    }), &app);
    g_signal_connect(application, "activate", G_CALLBACK(+[](GApplication*, gpointer data) {
        auto& a = *static_cast<App*>(data);
        if (!a.launched) return launchOnce(a);
        auto* window = a.desktop->window();
        a.delegate->applicationShouldHandleReopen(window && window->isVisible());
    }), &app);
    g_signal_connect(application, "open", G_CALLBACK(+[](GApplication*, GFile**, gint, gchar*, gpointer data) {
        launchOnce(*static_cast<App*>(data));
    }), &app);
    g_signal_connect(application, "shutdown", G_CALLBACK(+[](GApplication*, gpointer data) {
        auto& a = *static_cast<App*>(data);
        a.desktop->setDelegate(nullptr);
        a.delegate.reset();
        a.desktop.reset();
    }), &app);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    g_object_unref(application);
    return status;
}
