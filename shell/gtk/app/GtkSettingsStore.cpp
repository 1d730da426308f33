#include "app/GtkSettingsStore.hpp"

#include <glib/gstdio.h>
#include <sys/stat.h>

#include <cerrno>
#include <sstream>

namespace corvane::gtk {

namespace {
constexpr const char* kGroup = "Corvane";
// The app stores a few short values; anything near this is not ours.
constexpr goffset kMaxBytes = 1 << 20;

// Whether GKeyFile accepts the line where it stands, and whether it opens a group.
bool lineParses(const std::string& line, bool& opensGroup) {
    g_autoptr(GKeyFile) probe = g_key_file_new();
    const std::string text = "[probe]\n" + line + "\n";
    const bool ok = g_key_file_load_from_data(probe, text.data(), text.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    opensGroup = ok && line.find_first_not_of(" \t") != std::string::npos && line[line.find_first_not_of(" \t")] == '[';
    return ok;
}

// Every line of `text` that parses where it stands; a bad line elsewhere costs no setting.
std::string salvage(const std::string& text) {
    std::istringstream lines(text);
    std::string line, kept;
    bool inGroup = false;
    while (std::getline(lines, line)) {
        bool opensGroup = false;
        if (!lineParses(line, opensGroup)) continue;
        const bool blankOrComment =
            line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#';
        // A key before the first group would fail the whole file again.
        if (!inGroup && !opensGroup && !blankOrComment) continue;
        inGroup = inGroup || opensGroup;
        kept += line + "\n";
    }
    return kept;
}
} // namespace

GtkSettingsStore::GtkSettingsStore()
    : GtkSettingsStore(std::string(g_get_user_config_dir()) + "/corvane/settings.ini") {}

GtkSettingsStore::GtkSettingsStore(std::string path) : path_(std::move(path)), file_(g_key_file_new()) { load(); }

void GtkSettingsStore::load() {
    GStatBuf info;
    if (g_stat(path_.c_str(), &info) != 0) return; // none yet
    // Reading a pipe or a device could block the launch for good.
    if (!S_ISREG(info.st_mode)) {
        setAside("it is not a regular file");
        return;
    }
    if (info.st_size > kMaxBytes) {
        setAside("it is larger than 1 MiB");
        return;
    }
    g_autofree gchar* contents = nullptr;
    gsize length = 0;
    g_autoptr(GError) unread = nullptr;
    if (!g_file_get_contents(path_.c_str(), &contents, &length, &unread)) {
        g_warning("cannot read %s: %s", path_.c_str(), unread->message);
        setAside("it cannot be read");
        return;
    }
    const std::string text(contents, length);
    g_autoptr(GError) malformed = nullptr;
    if (g_key_file_load_from_data(file_, text.data(), text.size(), G_KEY_FILE_KEEP_COMMENTS, &malformed)) return;
    g_warning("%s is malformed (%s); keeping what can be read", path_.c_str(), malformed->message);
    const std::string kept = salvage(text);
    g_key_file_free(file_);
    file_ = g_key_file_new();
    if (!g_key_file_load_from_data(file_, kept.data(), kept.size(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        g_key_file_free(file_);
        file_ = g_key_file_new();
    }
    // The salvaged settings are written at once: the next launch must not find the file gone.
    if (setAside("it has malformed lines")) save();
}

bool GtkSettingsStore::setAside(const char* why) {
    const std::string aside = path_ + ".broken";
    if (g_rename(path_.c_str(), aside.c_str()) == 0) {
        g_warning("settings file moved to %s: %s", aside.c_str(), why);
        return true;
    }
    g_warning("settings file %s not used and left alone (%s), and cannot be moved aside: %s", path_.c_str(), why,
              g_strerror(errno));
    mayWrite_ = false;
    return false;
}

GtkSettingsStore::~GtkSettingsStore() { g_key_file_free(file_); }

std::optional<std::string> GtkSettingsStore::string(std::string_view key) {
    const std::string k(key);
    g_autofree gchar* value = g_key_file_get_string(file_, kGroup, k.c_str(), nullptr);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<bool> GtkSettingsStore::boolean(std::string_view key) {
    const std::string k(key);
    g_autoptr(GError) error = nullptr;
    const gboolean value = g_key_file_get_boolean(file_, kGroup, k.c_str(), &error);
    if (!error) return value != FALSE;
    if (auto it = defaults_.find(key); it != defaults_.end()) return it->second;
    return std::nullopt;
}

std::optional<int> GtkSettingsStore::integer(std::string_view key) {
    const std::string k(key);
    g_autoptr(GError) error = nullptr;
    const gint value = g_key_file_get_integer(file_, kGroup, k.c_str(), &error);
    if (!error) return value;
    return std::nullopt;
}

void GtkSettingsStore::setString(std::string_view key, std::string_view value) {
    const std::string k(key), v(value);
    g_key_file_set_string(file_, kGroup, k.c_str(), v.c_str());
    save();
}

void GtkSettingsStore::setBoolean(std::string_view key, bool value) {
    const std::string k(key);
    g_key_file_set_boolean(file_, kGroup, k.c_str(), value);
    save();
}

void GtkSettingsStore::setInteger(std::string_view key, int value) {
    const std::string k(key);
    g_key_file_set_integer(file_, kGroup, k.c_str(), value);
    save();
}

void GtkSettingsStore::registerDefaults(const std::map<std::string, bool, std::less<>>& defaults) {
    defaults_.insert(defaults.begin(), defaults.end());
}

void GtkSettingsStore::save() {
    if (!mayWrite_) return;
    gsize length = 0;
    g_autofree gchar* data = g_key_file_to_data(file_, &length, nullptr);
    g_autofree gchar* dir = g_path_get_dirname(path_.c_str());
    g_autoptr(GError) error = nullptr;
    // Written to a temporary file, flushed, then renamed over the old one: a crash leaves one or the other.
    const bool saved =
        g_mkdir_with_parents(dir, 0700) == 0 &&
        g_file_set_contents_full(path_.c_str(), data, static_cast<gssize>(length),
                                 GFileSetContentsFlags(G_FILE_SET_CONTENTS_CONSISTENT | G_FILE_SET_CONTENTS_DURABLE),
                                 0600, &error);
    if (!saved && !warned_)
        g_warning("cannot save settings to %s: %s", path_.c_str(), error ? error->message : g_strerror(errno));
    // Once per run of failures, not once per setting.
    warned_ = !saved;
}

} // namespace corvane::gtk
