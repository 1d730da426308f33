#include "app/DesktopIntegration.hpp"

#include "AppId.hpp"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <cstring>
#include <vector>

namespace corvane::gtk {

namespace {

// The icons are installed under the application id.
constexpr const char* kIconName = kAppId;
constexpr const char* kSchemeType = "x-scheme-handler/corvane-desktop";
constexpr const char* kDefaults = "Default Applications";

std::string canonical(const std::string& path) {
    g_autofree char* text = g_canonicalize_filename(path.c_str(), nullptr);
    return text;
}

std::string besidePath(const std::string& executable, std::string_view relative) {
    g_autofree char* directory = g_path_get_dirname(executable.c_str());
    return canonical(std::string(directory) + "/" + std::string(relative));
}

// Where the desktop already looks: its own entry serves there.
bool desktopSeesAlready(const std::string& share, const UserDirs& dirs) {
    if (share == "/usr/share" || share == "/usr/local/share" || share == canonical(dirs.dataHome)) return true;
    for (const char* const* dir = g_get_system_data_dirs(); *dir; ++dir)
        if (share == canonical(*dir)) return true;
    return false;
}

// One argument of an Exec key, whatever the path holds; GKeyFile adds the string escapes on top.
std::string execArgument(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Rewriting unchanged files would wake every launcher watching the directory at each start.
bool writeIfChanged(const std::string& path, const char* data, gsize size) {
    g_autofree gchar* old = nullptr;
    gsize oldSize = 0;
    if (g_file_get_contents(path.c_str(), &old, &oldSize, nullptr) && oldSize == size &&
        std::memcmp(old, data, size) == 0)
        return false;
    g_autofree char* directory = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(directory, 0755);
    g_autoptr(GError) error = nullptr;
    if (!g_file_set_contents_full(path.c_str(), data, static_cast<gssize>(size), G_FILE_SET_CONTENTS_CONSISTENT, 0644,
                                  &error)) {
        g_warning("cannot write %s: %s", path.c_str(), error->message);
        return false;
    }
    return true;
}

bool writeEntry(const std::string& ownEntry, const std::string& executable, const UserDirs& dirs) {
    g_autoptr(GKeyFile) entry = g_key_file_new();
    if (!g_key_file_load_from_file(entry, ownEntry.c_str(),
                                   GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), nullptr))
        return false;
    const std::string exec = execArgument(executable) + " %U";
    g_key_file_set_string(entry, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, exec.c_str());
    // Launchers hide the entry once the bundle is gone.
    g_key_file_set_string(entry, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, executable.c_str());
    gsize size = 0;
    g_autofree char* data = g_key_file_to_data(entry, &size, nullptr);
    writeIfChanged(dirs.dataHome + "/applications/" + kDesktopFile, data, size);
    return true;
}

void copyIcons(const std::string& share, const UserDirs& dirs) {
    const std::string theme = share + "/icons/hicolor";
    GDir* sizes = g_dir_open(theme.c_str(), 0, nullptr);
    if (!sizes) return;
    while (const char* size = g_dir_read_name(sizes)) {
        for (const char* extension : {".png", ".svg"}) {
            const std::string relative = std::string(size) + "/apps/" + kIconName + extension;
            g_autofree gchar* data = nullptr;
            gsize length = 0;
            if (!g_file_get_contents((theme + "/" + relative).c_str(), &data, &length, nullptr)) continue;
            writeIfChanged(dirs.dataHome + "/icons/hicolor/" + relative, data, length);
        }
    }
    g_dir_close(sizes);
}

bool installed(const std::string& id, const UserDirs& dirs) {
    if (g_file_test((dirs.dataHome + "/applications/" + id).c_str(), G_FILE_TEST_IS_REGULAR)) return true;
    for (const char* const* dir = g_get_system_data_dirs(); *dir; ++dir)
        if (g_file_test((std::string(*dir) + "/applications/" + id).c_str(), G_FILE_TEST_IS_REGULAR)) return true;
    return false;
}

// The handler the desktop's default lists name for the scheme, read in the order the desktop reads them;
// a named program that is no longer there does not count.
std::string currentHandler(const UserDirs& dirs) {
    std::vector<std::string> lists{dirs.configHome + "/mimeapps.list"};
    for (const char* const* dir = g_get_system_config_dirs(); *dir; ++dir)
        lists.push_back(std::string(*dir) + "/mimeapps.list");
    lists.push_back(dirs.dataHome + "/applications/mimeapps.list");
    for (const char* const* dir = g_get_system_data_dirs(); *dir; ++dir)
        lists.push_back(std::string(*dir) + "/applications/mimeapps.list");
    for (const auto& path : lists) {
        g_autoptr(GKeyFile) list = g_key_file_new();
        if (!g_key_file_load_from_file(list, path.c_str(), G_KEY_FILE_NONE, nullptr)) continue;
        gchar** ids = g_key_file_get_string_list(list, kDefaults, kSchemeType, nullptr, nullptr);
        std::string found;
        for (gchar** id = ids; id && *id && found.empty(); ++id)
            if (installed(*id, dirs)) found = *id;
        g_strfreev(ids);
        if (!found.empty()) return found;
    }
    return {};
}

// Sign-in returns must reach some copy of the app; a handler the user or another program chose stays.
void claimScheme(const UserDirs& dirs) {
    if (!currentHandler(dirs).empty()) return;
    const std::string path = dirs.configHome + "/mimeapps.list";
    g_autoptr(GKeyFile) list = g_key_file_new();
    g_key_file_load_from_file(list, path.c_str(),
                              GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS), nullptr);
    g_key_file_set_string(list, kDefaults, kSchemeType, (std::string(kDesktopFile) + ";").c_str());
    gsize size = 0;
    g_autofree char* data = g_key_file_to_data(list, &size, nullptr);
    writeIfChanged(path, data, size);
}

} // namespace

std::string ownExecutable() {
    g_autofree char* target = g_file_read_link("/proc/self/exe", nullptr);
    std::string path = target ? target : "";
    // A new copy on trial runs behind the launcher that took its name; the launcher is what is started.
    if (path.ends_with("/bin/corvane.trial")) path.resize(path.size() - 6);
    return path;
}

std::string besideExecutable(std::string_view relative) { return besidePath(ownExecutable(), relative); }

bool announceBundle(const std::string& executable, const UserDirs& dirs) {
    // A line break cannot be written into an Exec key, and GIO takes the "%%" a "%" becomes there for part
    // of the file name, then disowns the entry.
    if (executable.empty() || executable.find_first_of("\n\r%") != std::string::npos) return false;
    const std::string share = besidePath(executable, CORVANE_DATA_FROM_BIN);
    const std::string ownEntry = share + "/applications/" + kDesktopFile;
    if (!g_file_test(ownEntry.c_str(), G_FILE_TEST_IS_REGULAR) || desktopSeesAlready(share, dirs)) return false;
    if (!writeEntry(ownEntry, executable, dirs)) return false;
    copyIcons(share, dirs);
    claimScheme(dirs);
    return true;
}

void integrateWithDesktop() {
    // The window and About find the tree's own icon before (or without) the user's theme holding it.
    if (GdkDisplay* display = gdk_display_get_default())
        gtk_icon_theme_add_search_path(gtk_icon_theme_get_for_display(display),
                                       besideExecutable(CORVANE_DATA_FROM_BIN "/icons").c_str());
    g_idle_add_full(
        G_PRIORITY_LOW,
        +[](gpointer) -> gboolean {
            announceBundle(ownExecutable(), UserDirs{g_get_user_data_dir(), g_get_user_config_dir()});
            return G_SOURCE_REMOVE;
        },
        nullptr, nullptr);
}

} // namespace corvane::gtk
