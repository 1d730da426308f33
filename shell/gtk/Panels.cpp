// File choosers and message dialogs. Each answers its completion exactly once: on its response, or with
// "cancelled" when it goes away without one (its parent window destroyed, the app shutting down).
#include "Panels.hpp"

#include <memory>

#include <adwaita.h>

#include "Accessible.hpp"

namespace corvane::gtk {

namespace {

using Paths = std::vector<std::string>;

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

std::optional<Paths> chosenPaths(GtkFileChooser* chooser) {
    GListModel* files = gtk_file_chooser_get_files(chooser);
    Paths paths;
    const guint count = files ? g_list_model_get_n_items(files) : 0;
    for (guint i = 0; i < count; ++i) {
        auto* file = G_FILE(g_list_model_get_item(files, i));
        // Only local files can be handed to the engine.
        if (char* path = g_file_get_path(file)) {
            paths.emplace_back(path);
            g_free(path);
        }
        g_object_unref(file);
    }
    if (files) g_object_unref(files);
    if (paths.empty()) return std::nullopt;
    return paths;
}

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
    g_signal_connect(
        native, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, int response, gpointer data) {
            auto* self = static_cast<Chooser*>(data);
            self->finish(response == GTK_RESPONSE_ACCEPT ? chosenPaths(GTK_FILE_CHOOSER(dialog)) : std::nullopt);
        }),
        chooser);
    if (parent)
        chooser->parentDestroyed = g_signal_connect(
            parent, "destroy",
            G_CALLBACK(+[](GtkWidget*, gpointer data) { static_cast<Chooser*>(data)->finish(std::nullopt); }), chooser);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
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

GtkPanels::~GtkPanels() {
    g_clear_object(&lastSettings_);
    g_clear_object(&lastPageSetup_);
}

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
    auto* dialog = ADW_MESSAGE_DIALOG(
        adw_message_dialog_new(parent, spec.heading.empty() ? nullptr : spec.heading.c_str(), body.c_str()));
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    auto* alert = new Alert{nullptr, static_cast<int>(spec.buttons.size()), std::move(done)};
    g_object_set_data_full(G_OBJECT(dialog), "corvane-alert", alert,
                           [](gpointer data) { delete static_cast<Alert*>(data); });

    // Responses are laid out in the order added: the first (default) button goes last, at the trailing
    // end, as GNOME orders them.
    for (std::size_t i = spec.buttons.size(); i-- > 0;) {
        const std::string id = std::to_string(i);
        adw_message_dialog_add_response(dialog, id.c_str(), spec.buttons[i].c_str());
    }
    if (!spec.buttons.empty()) {
        adw_message_dialog_set_default_response(dialog, "0");
        if (spec.buttons.size() > 1) adw_message_dialog_set_response_appearance(dialog, "0", ADW_RESPONSE_SUGGESTED);
    }
    adw_message_dialog_set_close_response(dialog, kDismissed);

    if (spec.defaultText) {
        alert->entry = gtk_entry_new();
        gtk_editable_set_text(GTK_EDITABLE(alert->entry), spec.defaultText->c_str());
        gtk_entry_set_activates_default(GTK_ENTRY(alert->entry), TRUE);
        adw_message_dialog_set_extra_child(dialog, alert->entry);
        // The field has no label of its own: what it is asked for is the message.
        nameAccessible(alert->entry, body.c_str());
    }
    nameButtons(GTK_WIDGET(dialog));

    // The dialog closes itself after its response.
    g_signal_connect(dialog, "response", G_CALLBACK(+[](AdwMessageDialog*, const char* response, gpointer data) {
                         auto* a = static_cast<Alert*>(data);
                         char* end = nullptr;
                         const long index = g_ascii_strtoll(response, &end, 10);
                         const bool button = end && end != response && *end == '\0' && index >= 0 && index < a->buttons;
                         a->finish(button ? static_cast<int>(index) : -1);
                     }),
                     alert);
    g_signal_connect(dialog, "destroy",
                     G_CALLBACK(+[](GtkWidget*, gpointer data) { static_cast<Alert*>(data)->abandon(); }), alert);

    gtk_window_present(GTK_WINDOW(dialog));
    // Return must reach the default button: from the field, or with nothing else focused.
    if (alert->entry) gtk_widget_grab_focus(alert->entry);
}

} // namespace corvane::gtk
