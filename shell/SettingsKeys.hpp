#pragma once

#include <string>
#include <string_view>

// Every key the settings file holds; stored files depend on these spellings.
namespace corvane::shell::keys {
inline constexpr std::string_view lastPath = "lastPath";
inline constexpr std::string_view wasFullScreen = "wasFullScreen";
inline constexpr std::string_view moveToApplicationsDeclined = "moveToApplicationsDeclined";
inline constexpr std::string_view lastDownloadFolder = "lastDownloadFolder";

// The main window's frame, stored under its name.
inline constexpr std::string_view mainFrame = "CorvaneMain";
inline std::string frameWidth(std::string_view frame) { return std::string(frame).append(".width"); }
inline std::string frameHeight(std::string_view frame) { return std::string(frame).append(".height"); }
inline std::string frameMaximized(std::string_view frame) { return std::string(frame).append(".maximized"); }

// The updater's.
namespace update {
inline constexpr std::string_view automaticChecks = "updateAutomaticChecks";
inline constexpr std::string_view automaticDownloads = "updateAutomaticDownloads";
inline constexpr std::string_view skippedVersion = "updateSkippedVersion";
inline constexpr std::string_view lastCheckTime = "updateLastCheckTime";
inline constexpr std::string_view launchedBefore = "updateLaunchedBefore";
} // namespace update
} // namespace corvane::shell::keys
