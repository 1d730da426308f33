#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Url.hpp"

namespace corvane::core {

// The origins that belong to the web app, as normalised origin strings.
class AppOrigins {
public:
    // Entries that do not parse or have no origin are dropped; order and duplicates stay.
    explicit AppOrigins(const std::vector<std::string>& list);

    const std::vector<std::string>& origins() const { return origins_; }
    // The shipped set: the service's base URL alone. Built once.
    static const AppOrigins& production();

    // "scheme://host[:port]", lower-cased; the port only when it is not the scheme's default.
    static std::optional<std::string> originOf(const Url& url);
    bool contains(const Url& url) const;
    bool containsOrigin(std::string_view text) const;
    // A stored location resolved to a URL inside the set, or none.
    std::optional<Url> appURL(std::string_view stored, const Url& base) const;

    friend bool operator==(const AppOrigins&, const AppOrigins&) = default;

private:
    std::vector<std::string> origins_;
};

// The service's base URL with "/farm".
const Url& defaultStartURL();

} // namespace corvane::core
