#pragma once

#include <map>
#include <string>

#include <glib.h>

#include "ports/SettingsStore.hpp"

namespace corvane::gtk {

// A key file under $XDG_CONFIG_HOME/corvane/. Unreadable or malformed content reads as absent and is
// replaced on the next write; every write replaces the file atomically.
class SettingsFile : public shell::SettingsStore {
public:
    SettingsFile();
    explicit SettingsFile(std::string path);
    ~SettingsFile() override;

    std::optional<std::string> string(std::string_view key) override;
    std::optional<bool> boolean(std::string_view key) override;
    void setString(std::string_view key, std::string_view value) override;
    void setBoolean(std::string_view key, bool value) override;
    void registerDefaults(const std::map<std::string, bool, std::less<>>& defaults) override;
    std::optional<int> integer(std::string_view key);
    void setInteger(std::string_view key, int value);

private:
    void save();
    std::string path_;
    GKeyFile* file_;
    std::map<std::string, bool, std::less<>> defaults_;
};

} // namespace corvane::gtk
