#pragma once

#include <map>
#include <string>

#include <glib.h>

#include "ports/SettingsStore.hpp"

namespace corvane::gtk {

// A key file under $XDG_CONFIG_HOME/corvane/. Every write replaces the file atomically and reaches the disk
// before it counts. A file that cannot be read, or is over 1 MiB, is moved aside (settings.ini.broken) for
// the user and reads as empty; one with malformed lines keeps every line that parses, and the original is
// moved aside the same way.
class GtkSettingsStore : public shell::SettingsStore {
public:
    GtkSettingsStore();
    explicit GtkSettingsStore(std::string path);
    ~GtkSettingsStore() override;

    std::optional<std::string> string(std::string_view key) override;
    std::optional<bool> boolean(std::string_view key) override;
    void setString(std::string_view key, std::string_view value) override;
    void setBoolean(std::string_view key, bool value) override;
    void registerDefaults(const std::map<std::string, bool, std::less<>>& defaults) override;
    std::optional<int> integer(std::string_view key) override;
    void setInteger(std::string_view key, int value) override;

private:
    void load();
    bool setAside(const char* why);
    void save();
    std::string path_;
    GKeyFile* file_;
    // A file that could be neither read nor moved aside is never overwritten.
    bool mayWrite_ = true;
    bool warned_ = false;
    std::map<std::string, bool, std::less<>> defaults_;
};

} // namespace corvane::gtk
