#pragma once

#include <optional>
#include <string_view>

namespace corvane::core {

// The desktop the app runs on: its texts name that system's places, and the page is told which it is.
// This build's shell runs on Linux; the macOS texts are kept word for word beside them.
enum class Platform { linuxDesktop, macOS };

// "linux" or "macos".
std::optional<Platform> platformNamed(std::string_view name);
// What the page sees as `cvDesktop.platform`.
std::string_view pagePlatform(Platform platform);

} // namespace corvane::core
