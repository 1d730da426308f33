#pragma once

#include <string_view>

// The settings file's keys the delegate reads and writes; stored files depend on these spellings.
namespace corvane::shell::keys {
inline constexpr std::string_view lastPath = "lastPath";
inline constexpr std::string_view wasFullScreen = "wasFullScreen";
inline constexpr std::string_view moveToApplicationsDeclined = "moveToApplicationsDeclined";
inline constexpr std::string_view lastDownloadFolder = "lastDownloadFolder";
} // namespace corvane::shell::keys
