#include "AppOrigins.hpp"

#include <algorithm>

#include "BuildConfig.hpp"
#include "Text.hpp"

namespace corvane::core {

AppOrigins::AppOrigins(const std::vector<std::string>& list) {
    for (const auto& entry : list) {
        auto url = Url::parse(entry);
        if (!url) continue;
        if (auto origin = originOf(*url)) origins_.push_back(std::move(*origin));
    }
}

const AppOrigins& AppOrigins::production() {
    static const AppOrigins set({std::string(build::baseURL)});
    return set;
}

std::optional<std::string> AppOrigins::originOf(const Url& url) {
    if (!url.hasScheme() || !url.hasHost()) return std::nullopt;
    std::string host = url.hostLower();
    if (host.empty()) return std::nullopt;
    std::string scheme = url.schemeLower();
    std::string origin = scheme + "://" + host;
    if (auto port = url.port()) {
        const bool isDefault = (scheme == "https" && *port == 443) || (scheme == "http" && *port == 80);
        // Appended piece by piece: GCC 12 takes `":" + std::string` for an overlapping copy (-Wrestrict).
        if (!isDefault) {
            origin += ':';
            origin += std::to_string(*port);
        }
    }
    return origin;
}

bool AppOrigins::contains(const Url& url) const {
    auto origin = originOf(url);
    return origin && std::find(origins_.begin(), origins_.end(), *origin) != origins_.end();
}

bool AppOrigins::containsOrigin(std::string_view text) const {
    auto url = Url::parse(text);
    return url && contains(*url);
}

std::optional<Url> AppOrigins::appURL(std::string_view stored, const Url& base) const {
    if (stored.starts_with('/')) {
        if (stored.starts_with("//")) return std::nullopt;
        if (stored.find('\\') != std::string_view::npos) return std::nullopt;
        if (!text::graphemesAtMost(stored, 512)) return std::nullopt;
        auto resolved = base.resolve(stored);
        if (!resolved || !contains(*resolved)) return std::nullopt;
        return resolved;
    }
    auto url = Url::parse(stored);
    if (!url || !contains(*url)) return std::nullopt;
    return url;
}

const Url& defaultStartURL() {
    static const Url url = *Url::parse(std::string(build::baseURL) + "/farm");
    return url;
}

} // namespace corvane::core
