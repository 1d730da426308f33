#include "Placement.hpp"

#include <algorithm>

namespace corvane::core::Placement {

std::string_view moveFailedText(Platform platform) {
    if (platform == Platform::macOS)
        return "Drag Corvane into the Applications folder in Finder instead. It keeps working from here in the meantime.";
    return "Drag Corvane into the Applications folder in your file manager instead. It keeps working from here in the "
           "meantime.";
}

std::string standardize(std::string_view path, std::string_view home) {
    std::string expanded;
    if (path == "~" || path.starts_with("~/")) expanded = std::string(home) + std::string(path.substr(1));
    else expanded = std::string(path);
    const bool absolute = expanded.starts_with('/');
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= expanded.size()) {
        std::size_t j = expanded.find('/', i);
        if (j == std::string::npos) j = expanded.size();
        std::string part = expanded.substr(i, j - i);
        i = j + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." && absolute) {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(std::move(part));
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k) out += '/';
        out += parts[k];
    }
    return out;
}

namespace {

// "~/x/" is the standardised home followed by "/x/", exactly as the rule concatenates them.
std::string expand(std::string_view place, std::string_view h) {
    if (place.starts_with("~/")) return std::string(h) + std::string(place.substr(1));
    return std::string(place);
}

bool startsWithAny(const std::string& b, const std::vector<std::string>& places, std::string_view h) {
    return std::any_of(places.begin(), places.end(), [&](const auto& p) { return b.starts_with(expand(p, h)); });
}

} // namespace

const Places& Places::macOS() {
    static const Places places{{"/Applications/", "~/Applications/"},
                               {"/AppTranslocation/"},
                               {"/Volumes/"},
                               {"~/Downloads/", "~/Desktop/"},
                               "/Applications/"};
    return places;
}

Places Places::forLinux(std::string_view user, const std::vector<std::string>& downloadDirs, std::string_view home) {
    Places places{{"/usr/", "/opt/", "~/.local/", "~/Applications/"}, {}, {}, {}, "~/Applications/"};
    if (!user.empty() && user.find('/') == std::string_view::npos)
        places.volumes = {"/media/" + std::string(user) + "/", "/run/media/" + std::string(user) + "/"};
    const std::string h = standardize(home, home);
    for (const auto& dir : downloadDirs) {
        const std::string d = standardize(dir, home);
        if (d.starts_with('/') && d != "/" && d != h) places.downloads.push_back(d + "/");
    }
    return places;
}

bool shouldOffer(std::string_view bundlePath, std::string_view home, const Places& places) {
    const std::string b = standardize(bundlePath, home);
    const std::string h = standardize(home, home);
    if (startsWithAny(b, places.installed, h)) return false;
    for (const auto& mark : places.quarantine)
        if (b.find(mark) != std::string::npos) return true;
    return startsWithAny(b, places.volumes, h) || startsWithAny(b, places.downloads, h);
}

bool shouldOffer(std::string_view bundlePath, std::string_view home) {
    return shouldOffer(bundlePath, home, Places::macOS());
}

std::string destination(std::string_view bundlePath, std::string_view home, const Places& places) {
    std::string_view trimmed = bundlePath;
    while (trimmed.size() > 1 && trimmed.ends_with('/')) trimmed.remove_suffix(1);
    const auto slash = trimmed.rfind('/');
    return expand(places.destination, standardize(home, home)) +
           std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

std::string destination(std::string_view bundlePath) { return destination(bundlePath, "", Places::macOS()); }

std::optional<std::string> volumeOf(std::string_view bundlePath, std::string_view home, const Places& places) {
    const std::string b = standardize(bundlePath, home);
    const std::string h = standardize(home, home);
    for (const auto& place : places.volumes) {
        const std::string root = expand(place, h);
        if (!b.starts_with(root)) continue;
        const auto slash = b.find('/', root.size());
        if (slash != std::string::npos && slash > root.size() && slash + 1 < b.size()) return b.substr(0, slash);
    }
    return std::nullopt;
}

} // namespace corvane::core::Placement
