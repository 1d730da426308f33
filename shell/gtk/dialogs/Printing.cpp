// Printing the page through the engine's print dialog.
#include "dialogs/Panels.hpp"

#include <algorithm>

namespace corvane::gtk {

namespace {

constexpr double kMarginPoints = 36;

// The completion of one print, called once: when the operation finishes (a failure is followed by
// "finished"), when the dialog is cancelled, or when the operation goes away without either.
struct PrintDone {
    std::function<void()> done;
    void operator()() {
        if (auto callback = std::exchange(done, nullptr)) callback();
    }
};

} // namespace

void GtkPanels::printPage(const std::string& jobTitle, std::function<void()> done) {
    // The engine's print dialog spins its own loop until it closes; started from an idle callback, the
    // caller returns at once and none of its frames sit under that loop.
    struct Request {
        std::weak_ptr<GtkPanels*> panels;
        std::string title;
        std::function<void()> done;
    };
    g_idle_add_once(
        [](gpointer data) {
            std::unique_ptr<Request> request(static_cast<Request*>(data));
            if (auto panels = request->panels.lock()) (*panels)->runPrint(request->title, std::move(request->done));
            else request->done();
        },
        new Request{self_, jobTitle, std::move(done)});
}

void GtkPanels::runPrint(const std::string& jobTitle, std::function<void()> done) {
    WebKitWebView* view = view_();
    if (!view) return done();

    GtkPrintSettings* settings = lastSettings_ ? gtk_print_settings_copy(lastSettings_) : gtk_print_settings_new();
    // A print to file goes to the folder of the last one, else where documents go (or home), never
    // wherever the app was started.
    std::string folder;
    if (const char* last = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI)) {
        if (gchar* path = g_filename_from_uri(last, nullptr, nullptr)) {
            gchar* dir = g_path_get_dirname(path);
            folder = dir;
            g_free(dir);
            g_free(path);
        }
    }
    if (folder.empty()) {
        const char* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
        folder = documents ? documents : g_get_home_dir();
    }
    gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_DIR, folder.c_str());
    // The job title reaches the user as the suggested name of a print to file; a name left from the last
    // print would override it.
    gtk_print_settings_unset(settings, GTK_PRINT_SETTINGS_OUTPUT_URI);
    std::string fileName = jobTitle;
    std::replace(fileName.begin(), fileName.end(), '/', '-');
    if (fileName.empty()) gtk_print_settings_unset(settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME);
    else gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_BASENAME, fileName.c_str());

    GtkPageSetup* setup = lastPageSetup_ ? gtk_page_setup_copy(lastPageSetup_) : gtk_page_setup_new();
    gtk_page_setup_set_top_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_bottom_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_left_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_right_margin(setup, kMarginPoints, GTK_UNIT_POINTS);

    WebKitPrintOperation* operation = webkit_print_operation_new(view);
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, setup);
    g_object_unref(settings);
    g_object_unref(setup);

    auto* finish = new PrintDone{std::move(done)};
    g_object_set_data_full(G_OBJECT(operation), "corvane-print-done", finish, [](gpointer data) {
        auto* f = static_cast<PrintDone*>(data);
        (*f)();
        delete f;
    });
    g_signal_connect_swapped(operation, "finished", G_CALLBACK(+[](PrintDone* f) { (*f)(); }), finish);
    g_signal_connect_swapped(operation, "failed", G_CALLBACK(+[](PrintDone* f) { (*f)(); }), finish);

    std::weak_ptr<GtkPanels*> alive = self_;
    const WebKitPrintOperationResponse response = webkit_print_operation_run_dialog(operation, window_());
    // A cancelled dialog ends the operation without a signal.
    if (response == WEBKIT_PRINT_OPERATION_RESPONSE_CANCEL) (*finish)();
    else if (alive.lock()) {
        // Copies: the engine keeps writing into its own while the job runs.
        if (GtkPrintSettings* chosen = webkit_print_operation_get_print_settings(operation)) {
            GtkPrintSettings* copy = gtk_print_settings_copy(chosen);
            g_clear_object(&lastSettings_);
            lastSettings_ = copy;
        }
        if (GtkPageSetup* chosen = webkit_print_operation_get_page_setup(operation)) {
            GtkPageSetup* copy = gtk_page_setup_copy(chosen);
            g_clear_object(&lastPageSetup_);
            lastPageSetup_ = copy;
        }
    }
    // The engine holds the operation while it prints.
    g_object_unref(operation);
}

} // namespace corvane::gtk
