#include "Platform.hpp"

namespace corvane::core {

std::optional<Platform> platformNamed(std::string_view name) {
    if (name == "linux") return Platform::linuxDesktop;
    if (name == "macos") return Platform::macOS;
    return std::nullopt;
}

std::string_view pagePlatform(Platform platform) { return platform == Platform::macOS ? "darwin" : "linux"; }

} // namespace corvane::core
