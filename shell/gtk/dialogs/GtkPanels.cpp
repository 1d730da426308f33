// File choosers, message dialogs and printing. Each answers its completion exactly once: on its response,
// or with "cancelled" when it goes away without one (its parent window destroyed, the app shutting down).
#include "dialogs/GtkPanels.hpp"

#include <algorithm>
#include <memory>

#include <adwaita.h>

#include "toolkit/Accessible.hpp"
#include "toolkit/GtkCompat.hpp"

namespace corvane::gtk {

namespace {

using Paths = std::vector<std::string>;

// Only local files can be handed to the engine; none of them is no answer.
std::optional<Paths> localPaths(GListModel* files) {
    Paths paths;
    const guint count = files ? g_list_model_get_n_items(files) : 0;
    for (guint i = 0; i < count; ++i) {
        g_autoptr(GFile) file = G_FILE(g_list_model_get_item(files, i));
        if (g_autofree char* path = g_file_get_path(file)) paths.emplace_back(path);
    }
    if (paths.empty()) return std::nullopt;
    return paths;
}

#if GTK_CHECK_VERSION(4, 10, 0)
// A file dialog in flight. It answers through its callback, with an error when cancelled because the
// parent went.
struct Chooser {
    GtkFileChooserAction action;
    bool multiple;
    GCancellable* cancel;
    std::function<void(std::optional<Paths>)> done;

    static void answered(GObject* source, GAsyncResult* result, gpointer data) {
        auto* self = static_cast<Chooser*>(data);
        g_autoptr(GtkFileDialog) dialog = GTK_FILE_DIALOG(source);
        g_autoptr(GListModel) files = nullptr;
        g_autoptr(GFile) file = nullptr;
        const bool open = self->action == GTK_FILE_CHOOSER_ACTION_OPEN;
        if (self->multiple && open) files = gtk_file_dialog_open_multiple_finish(dialog, result, nullptr);
        else if (self->multiple) files = gtk_file_dialog_select_multiple_folders_finish(dialog, result, nullptr);
        else if (open) file = gtk_file_dialog_open_finish(dialog, result, nullptr);
        else if (self->action == GTK_FILE_CHOOSER_ACTION_SAVE)
            file = gtk_file_dialog_save_finish(dialog, result, nullptr);
        else file = gtk_file_dialog_select_folder_finish(dialog, result, nullptr);
        if (file) {
            files = G_LIST_MODEL(g_list_store_new(G_TYPE_FILE));
            g_list_store_append(G_LIST_STORE(files), file);
        }
        self->finish(localPaths(files));
    }

    void finish(std::optional<Paths> answer) {
        auto callback = std::exchange(done, nullptr);
        g_object_unref(cancel);
        delete this;
        if (callback) callback(std::move(answer));
    }
};
#else
// A file chooser in flight. GtkFileChooserNative is not a widget, so it does not die with its parent:
// the parent's destruction is watched here instead.
struct Chooser {
    GtkFileChooserNative* native;
    GtkWindow* parent;
    gulong parentDestroyed = 0;
    std::function<void(std::optional<Paths>)> done;

    void finish(std::optional<Paths> answer) {
        auto callback = std::exchange(done, nullptr);
        if (parentDestroyed) g_signal_handler_disconnect(parent, parentDestroyed);
        parentDestroyed = 0;
        g_signal_handlers_disconnect_by_data(native, this);
        gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(native));
        g_object_unref(native);
        delete this;
        if (callback) callback(std::move(answer));
    }
};
#endif

// The stored folder is the user's settings file's word: only an absolute path to a folder that is still
// there is taken. Otherwise the XDG download folder, or the home where there is none.
std::string saveFolder(const std::optional<std::string>& stored) {
    if (stored && g_path_is_absolute(stored->c_str()) && g_file_test(stored->c_str(), G_FILE_TEST_IS_DIR))
        return *stored;
    const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD);
    if (downloads && g_file_test(downloads, G_FILE_TEST_IS_DIR)) return downloads;
    return g_get_home_dir();
}

void runChooser(GtkWindow* parent, GtkFileChooserAction action, const char* title, const char* accept, bool multiple,
                const std::string* suggestedName, std::function<void(std::optional<Paths>)> done,
                const std::string* folder = nullptr) {
#if GTK_CHECK_VERSION(4, 10, 0)
    GtkFileDialog* dialog = gtk_file_dialog_new();
    gtk_file_dialog_set_title(dialog, title);
    gtk_file_dialog_set_accept_label(dialog, accept);
    gtk_file_dialog_set_modal(dialog, TRUE);
    if (folder) {
        g_autoptr(GFile) start = g_file_new_for_path(folder->c_str());
        gtk_file_dialog_set_initial_folder(dialog, start);
    }
    if (suggestedName) gtk_file_dialog_set_initial_name(dialog, suggestedName->c_str());

    auto* chooser = new Chooser{action, multiple, g_cancellable_new(), std::move(done)};
    // Held by the cancellable, the handler goes with it, whichever goes first.
    if (parent)
        g_signal_connect_object(parent, "destroy", G_CALLBACK(g_cancellable_cancel), chooser->cancel,
                                G_CONNECT_SWAPPED);
    const bool open = action == GTK_FILE_CHOOSER_ACTION_OPEN;
    GCancellable* cancel = chooser->cancel;
    if (multiple && open) gtk_file_dialog_open_multiple(dialog, parent, cancel, Chooser::answered, chooser);
    else if (multiple) gtk_file_dialog_select_multiple_folders(dialog, parent, cancel, Chooser::answered, chooser);
    else if (open) gtk_file_dialog_open(dialog, parent, cancel, Chooser::answered, chooser);
    else if (action == GTK_FILE_CHOOSER_ACTION_SAVE)
        gtk_file_dialog_save(dialog, parent, cancel, Chooser::answered, chooser);
    else gtk_file_dialog_select_folder(dialog, parent, cancel, Chooser::answered, chooser);
#else
    GtkFileChooserNative* native = gtk_file_chooser_native_new(title, parent, action, accept, "Cancel");
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    if (folder) {
        g_autoptr(GFile) start = g_file_new_for_path(folder->c_str());
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(native), start, nullptr);
    }
    // After the folder: the name is what the user sees selected, ready to be typed over.
    if (suggestedName) gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(native), suggestedName->c_str());
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(native), multiple);

    auto* chooser = new Chooser{native, parent, 0, std::move(done)};
    g_signal_connect(native, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
                         auto* self = static_cast<Chooser*>(data);
                         g_autoptr(GListModel) files = response == GTK_RESPONSE_ACCEPT
                                                           ? gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog))
                                                           : nullptr;
                         self->finish(localPaths(files));
                     }),
                     chooser);
    if (parent)
        chooser->parentDestroyed = g_signal_connect(
            parent, "destroy",
            G_CALLBACK(+[](GtkWidget*, gpointer data) { static_cast<Chooser*>(data)->finish(std::nullopt); }), chooser);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
#endif
}

// A message dialog in flight; freed with the dialog.
struct Alert {
    GtkWidget* entry = nullptr;
    int buttons = 0;
    std::function<void(int, std::string)> done;

    void finish(int button) {
        auto callback = std::exchange(done, nullptr);
        if (!callback) return;
        const char* text = entry ? gtk_editable_get_text(GTK_EDITABLE(entry)) : nullptr;
        callback(button, text ? text : "");
    }

    // Gone without a response: the field's text is of no use then, and its widget may be half torn down.
    void abandon() {
        entry = nullptr;
        finish(-1);
    }
};

// A page's message is shown up to a size that fits on a screen; beyond it, "…".
std::string fitted(const std::string& message) {
    constexpr glong maxChars = 1000;
    constexpr int maxLines = 20;
    const char* text = message.c_str();
    const char* end = text + message.size();
    // Invalid UTF-8 is cut where it starts: labels take only valid text.
    const char* valid = nullptr;
    g_utf8_validate(text, static_cast<gssize>(message.size()), &valid);
    if (valid) end = valid;
    const char* at = text;
    int lines = 1;
    for (glong n = 0; at < end; at = g_utf8_next_char(at), ++n)
        if (n == maxChars || (*at == '\n' && ++lines > maxLines)) break;
    if (at >= end) return std::string(text, end);
    return std::string(text, at) + "…";
}

// Escape, the window manager's close and a quit answer with this; it is no button's.
constexpr const char* kDismissed = "dismissed";

} // namespace

void GtkPanels::chooseSaveLocation(const std::string& suggestedName, const std::optional<std::string>& folder,
                                   std::function<void(std::optional<std::string>)> done) {
    // GTK's chooser asks before replacing an existing file in save mode.
    const std::string start = saveFolder(folder);
    runChooser(
        window_(), GTK_FILE_CHOOSER_ACTION_SAVE, "Save File", "_Save", false, &suggestedName,
        [done = std::move(done)](std::optional<Paths> paths) {
            done(paths ? std::optional<std::string>(paths->front()) : std::nullopt);
        },
        &start);
}

void GtkPanels::chooseFiles(bool multiple, bool directories,
                            std::function<void(std::optional<std::vector<std::string>>)> done) {
    // GTK offers files or folders in one chooser, never both: a folder-accepting input gets folders.
    if (directories)
        runChooser(window_(), GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "Select Folder", "_Select", multiple, nullptr,
                   std::move(done));
    else runChooser(window_(), GTK_FILE_CHOOSER_ACTION_OPEN, "Open File", "_Open", multiple, nullptr, std::move(done));
}

void GtkPanels::showAlert(const shell::AlertSpec& spec, std::function<void(int, std::string)> done) {
    GtkWindow* parent = window_();
    const std::string body = fitted(spec.message);
    auto* alert = new Alert{nullptr, static_cast<int>(spec.buttons.size()), std::move(done)};
#if CORVANE_ADW_DIALOGS
    auto* dialog =
        ADW_ALERT_DIALOG(adw_alert_dialog_new(spec.heading.empty() ? nullptr : spec.heading.c_str(), body.c_str()));
#define CORVANE_ALERT(call) adw_alert_dialog_##call
#else
    auto* dialog = ADW_MESSAGE_DIALOG(
        adw_message_dialog_new(parent, spec.heading.empty() ? nullptr : spec.heading.c_str(), body.c_str()));
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
#define CORVANE_ALERT(call) adw_message_dialog_##call
#endif
    g_object_set_data_full(G_OBJECT(dialog), "corvane-alert", alert,
                           [](gpointer data) { delete static_cast<Alert*>(data); });

    // Responses are laid out in the order added: the first (default) button goes last, at the trailing
    // end, as GNOME orders them.
    for (std::size_t i = spec.buttons.size(); i-- > 0;) {
        const std::string id = std::to_string(i);
        CORVANE_ALERT(add_response)(dialog, id.c_str(), spec.buttons[i].c_str());
    }
    if (!spec.buttons.empty()) {
        CORVANE_ALERT(set_default_response)(dialog, "0");
        if (spec.buttons.size() > 1) CORVANE_ALERT(set_response_appearance)(dialog, "0", ADW_RESPONSE_SUGGESTED);
    }
    CORVANE_ALERT(set_close_response)(dialog, kDismissed);

    if (spec.defaultText) {
        alert->entry = gtk_entry_new();
        gtk_editable_set_text(GTK_EDITABLE(alert->entry), spec.defaultText->c_str());
        gtk_entry_set_activates_default(GTK_ENTRY(alert->entry), TRUE);
        CORVANE_ALERT(set_extra_child)(dialog, alert->entry);
        // The field has no label of its own: what it is asked for is the message.
        nameAccessible(alert->entry, body.c_str());
    }
#undef CORVANE_ALERT
    nameButtons(GTK_WIDGET(dialog));

    // The dialog closes itself after its response.
    g_signal_connect(dialog, "response", G_CALLBACK(+[](GtkWidget*, const char* response, gpointer data) {
                         auto* a = static_cast<Alert*>(data);
                         char* end = nullptr;
                         const long index = g_ascii_strtoll(response, &end, 10);
                         const bool button = end && end != response && *end == '\0' && index >= 0 && index < a->buttons;
                         a->finish(button ? static_cast<int>(index) : -1);
                     }),
                     alert);
    g_signal_connect(dialog, "destroy",
                     G_CALLBACK(+[](GtkWidget*, gpointer data) { static_cast<Alert*>(data)->abandon(); }), alert);

#if CORVANE_ADW_DIALOGS
    // Its own window (the app's is no Adwaita window) goes with the parent, answering nothing.
    if (parent)
        g_signal_connect_object(parent, "destroy", G_CALLBACK(+[](AdwDialog* d) { adw_dialog_force_close(d); }), dialog,
                                G_CONNECT_SWAPPED);
    adw_dialog_present(ADW_DIALOG(dialog), GTK_WIDGET(parent));
#else
    gtk_window_present(GTK_WINDOW(dialog));
#endif
    // Return must reach the default button: from the field, or with nothing else focused.
    if (alert->entry) gtk_widget_grab_focus(alert->entry);
}

// Printing the page through the engine's print dialog.

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

    g_autoptr(GtkPrintSettings) settings =
        lastSettings_ ? gtk_print_settings_copy(lastSettings_) : gtk_print_settings_new();
    // A print to file goes to the folder of the last one, else where documents go (or home), never
    // wherever the app was started.
    std::string folder;
    if (const char* last = gtk_print_settings_get(settings, GTK_PRINT_SETTINGS_OUTPUT_URI)) {
        if (g_autofree gchar* path = g_filename_from_uri(last, nullptr, nullptr)) {
            g_autofree gchar* dir = g_path_get_dirname(path);
            folder = dir;
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

    g_autoptr(GtkPageSetup) setup = lastPageSetup_ ? gtk_page_setup_copy(lastPageSetup_) : gtk_page_setup_new();
    gtk_page_setup_set_top_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_bottom_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_left_margin(setup, kMarginPoints, GTK_UNIT_POINTS);
    gtk_page_setup_set_right_margin(setup, kMarginPoints, GTK_UNIT_POINTS);

    WebKitPrintOperation* operation = webkit_print_operation_new(view);
    webkit_print_operation_set_print_settings(operation, settings);
    webkit_print_operation_set_page_setup(operation, setup);

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
            lastSettings_.reset(copy);
        }
        if (GtkPageSetup* chosen = webkit_print_operation_get_page_setup(operation)) {
            GtkPageSetup* copy = gtk_page_setup_copy(chosen);
            lastPageSetup_.reset(copy);
        }
    }
    // The engine holds the operation while it prints.
    g_object_unref(operation);
}

} // namespace corvane::gtk
