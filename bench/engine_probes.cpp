// What GTK's and the engine's start-up costs in one process, and whether a page gets the desktop's dark
// style: the numbers behind the GPU switches the app leaves alone. One line per run; engine_probes.py
// runs it under each set of switches.
// Usage: corvane-engine-probes
#include <cstdio>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace {

double msSince(gint64 start) { return static_cast<double>(g_get_monotonic_time() - start) / 1000.0; }

struct Run {
    gint64 start;
    GMainLoop* loop;
    const char* title = nullptr;
};

} // namespace

int main() {
    Run run{g_get_monotonic_time(), nullptr};
    gtk_init();
    const double gtkInit = msSince(run.start);
    gint64 mark = g_get_monotonic_time();
    WebKitNetworkSession* session = webkit_network_session_new_ephemeral();
    WebKitWebContext* context = webkit_web_context_new();
    const double contextMs = msSince(mark);
    mark = g_get_monotonic_time();
    WebKitSettings* settings = webkit_settings_new();
    if (!g_file_test("/dev/dri", G_FILE_TEST_IS_DIR))
        webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "network-session", session,
                                              "settings", settings, nullptr));
    const double viewMs = msSince(mark);
    mark = g_get_monotonic_time();
    // Starts the web process, as the app does while it builds its window.
    webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(view), "0", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    const double launchMs = msSince(mark);

    // The desktop turns dark after the view exists, as the app's appearance does.
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
    GtkWidget* window = gtk_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    gtk_window_set_child(GTK_WINDOW(window), view);
    gtk_window_present(GTK_WINDOW(window));
    run.loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(view, "notify::title", G_CALLBACK(+[](WebKitWebView* v, GParamSpec*, gpointer data) {
                         auto* r = static_cast<Run*>(data);
                         const char* title = webkit_web_view_get_title(v);
                         if (!title || !*title) return;
                         r->title = title;
                         g_main_loop_quit(r->loop);
                     }),
                     &run);
    webkit_web_view_load_html(WEBKIT_WEB_VIEW(view),
                              "<script>document.title = matchMedia('(prefers-color-scheme: dark)').matches "
                              "? 'dark' : 'light';</script>",
                              nullptr);
    g_timeout_add_seconds(
        20,
        +[](gpointer loop) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        run.loop);
    g_main_loop_run(run.loop);
    std::printf("gtk_init %.1f context %.1f view %.1f launch %.1f page %.1f style %s\n", gtkInit, contextMs, viewMs,
                launchMs, msSince(run.start), run.title ? run.title : "none");
    std::fflush(stdout);
    // The engine's processes end with this one.
    return run.title ? 0 : 1;
}
