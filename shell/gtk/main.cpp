// corvane: the process entry.
#include <glib.h>
#include <gtk/gtk.h>

#include "AppId.hpp"
#include "BuildConfig.hpp"
#include "app/ActivationToken.hpp"
#include "app/AppProcess.hpp"
#include "app/Application.hpp"
#include "engine/quirks/NoGpuDrawing.hpp"

namespace {

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

} // namespace

int main(int argc, char** argv) {
    corvane::gtk::skipGpuProbesWithoutGpu();
    corvane::gtk::adoptActivationToken();
    g_set_application_name("Corvane");
    g_autoptr(GtkApplication) application =
        corvane::gtk::newApplication(corvane::gtk::kAppId, G_APPLICATION_HANDLES_OPEN);
    g_application_add_main_option(G_APPLICATION(application), "version", 0, G_OPTION_FLAG_NONE, G_OPTION_ARG_NONE,
                                  "Show the version and exit", nullptr);
    g_application_set_option_context_parameter_string(G_APPLICATION(application), "[URL]");
    g_application_set_option_context_summary(
        G_APPLICATION(application),
        "Opens the Corvane window, or brings it forward if Corvane is already running.\n"
        "URL: a corvane-desktop: link (a sign-in return) for the running window.");
    g_signal_connect(application, "handle-local-options", G_CALLBACK(handleLocalOptions), nullptr);

    int status = 0;
    {
        corvane::gtk::AppProcess process(G_APPLICATION(application));
        status = g_application_run(G_APPLICATION(application), argc, argv);
    }
    return status;
}
