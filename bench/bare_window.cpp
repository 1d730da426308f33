// The yardstick for start-up and memory: a plain GTK4 window holding a WebKitGTK view of one URL.
// Usage: corvane-bare-window URL [PEM-CERT HOST]
#include <gtk/gtk.h>
#include <webkit/webkit.h>

namespace {

struct Options {
    const char* url;
    const char* cert;
    const char* host;
};

void activate(GtkApplication* app, gpointer data) {
    const auto* options = static_cast<Options*>(data);
    WebKitNetworkSession* session = webkit_network_session_get_default();
    if (options->cert && options->host) {
        if (GTlsCertificate* cert = g_tls_certificate_new_from_file(options->cert, nullptr)) {
            webkit_network_session_allow_tls_certificate_for_host(session, cert, options->host);
            g_object_unref(cert);
        }
    }
    GtkWidget* window = gtk_application_window_new(app);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 820);
    GtkWidget* view = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "network-session", session, nullptr));
    gtk_window_set_child(GTK_WINDOW(window), view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), options->url);
    gtk_window_present(GTK_WINDOW(window));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        g_printerr("usage: %s URL [PEM-CERT HOST]\n", argv[0]);
        return 2;
    }
    Options options{argv[1], argc > 3 ? argv[2] : nullptr, argc > 3 ? argv[3] : nullptr};
    GtkApplication* app = gtk_application_new(nullptr, G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(activate), &options);
    char* args[] = {argv[0], nullptr};
    const int status = g_application_run(G_APPLICATION(app), 1, args);
    g_object_unref(app);
    return status;
}
