#include "SettingsFile.hpp"

#include <glib/gstdio.h>

namespace corvane::gtk {

namespace {
constexpr const char* kGroup = "Corvane";
}

SettingsFile::SettingsFile()
    : SettingsFile(std::string(g_get_user_config_dir()) + "/corvane/settings.ini") {}

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)), file_(g_key_file_new()) {
    if (!g_key_file_load_from_file(file_, path_.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
        g_key_file_free(file_);
        file_ = g_key_file_new();
    }
}

SettingsFile::~SettingsFile() { g_key_file_free(file_); }

std::optional<std::string> SettingsFile::string(std::string_view key) {
    const std::string k(key);
    gchar* value = g_key_file_get_string(file_, kGroup, k.c_str(), nullptr);
    if (!value) return std::nullopt;
    std::string out(value);
    g_free(value);
    return out;
}

std::optional<bool> SettingsFile::boolean(std::string_view key) {
    const std::string k(key);
    GError* error = nullptr;
    const gboolean value = g_key_file_get_boolean(file_, kGroup, k.c_str(), &error);
    if (!error) return value != FALSE;
    g_error_free(error);
    if (auto it = defaults_.find(key); it != defaults_.end()) return it->second;
    return std::nullopt;
}

std::optional<int> SettingsFile::integer(std::string_view key) {
    const std::string k(key);
    GError* error = nullptr;
    const gint value = g_key_file_get_integer(file_, kGroup, k.c_str(), &error);
    if (!error) return value;
    g_error_free(error);
    return std::nullopt;
}

void SettingsFile::setString(std::string_view key, std::string_view value) {
    const std::string k(key), v(value);
    g_key_file_set_string(file_, kGroup, k.c_str(), v.c_str());
    save();
}

void SettingsFile::setBoolean(std::string_view key, bool value) {
    const std::string k(key);
    g_key_file_set_boolean(file_, kGroup, k.c_str(), value);
    save();
}

void SettingsFile::setInteger(std::string_view key, int value) {
    const std::string k(key);
    g_key_file_set_integer(file_, kGroup, k.c_str(), value);
    save();
}

void SettingsFile::registerDefaults(const std::map<std::string, bool, std::less<>>& defaults) {
    defaults_.insert(defaults.begin(), defaults.end());
}

void SettingsFile::save() {
    gchar* dir = g_path_get_dirname(path_.c_str());
    g_mkdir_with_parents(dir, 0700);
    g_free(dir);
    // g_key_file_save_to_file writes a temporary file and renames it over the old one.
    g_key_file_save_to_file(file_, path_.c_str(), nullptr);
}

} // namespace corvane::gtk
