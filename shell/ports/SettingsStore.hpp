#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::shell {

// The user's settings. Unreadable or malformed values read as absent; writes are atomic.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> string(std::string_view key) = 0;
    virtual std::optional<bool> boolean(std::string_view key) = 0;
    virtual std::optional<int> integer(std::string_view key) = 0;
    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setBoolean(std::string_view key, bool value) = 0;
    virtual void setInteger(std::string_view key, int value) = 0;
    // Values that apply while the user has stored none of their own; never written.
    virtual void registerDefaults(const std::map<std::string, bool, std::less<>>& defaults) = 0;
};

} // namespace corvane::shell
