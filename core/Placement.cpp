#include "Placement.hpp"

#include <vector>

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

bool shouldOffer(std::string_view bundlePath, std::string_view home) {
    const std::string b = standardize(bundlePath, home);
    const std::string h = standardize(home, home);
    if (b.starts_with("/Applications/") || b.starts_with(h + "/Applications/")) return false;
    if (b.find("/AppTranslocation/") != std::string::npos || b.starts_with("/Volumes/")) return true;
    return b.starts_with(h + "/Downloads/") || b.starts_with(h + "/Desktop/");
}

std::string destination(std::string_view bundlePath) {
    std::string_view trimmed = bundlePath;
    while (trimmed.size() > 1 && trimmed.ends_with('/')) trimmed.remove_suffix(1);
    const auto slash = trimmed.rfind('/');
    return "/Applications/" + std::string(slash == std::string_view::npos ? trimmed : trimmed.substr(slash + 1));
}

} // namespace corvane::core::Placement
