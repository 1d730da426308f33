#pragma once

#include <string>
#include <string_view>
#include <vector>

// Moving into the applications folder and installing an update both end with the app started again
// from its bundle, once this process has gone (the new copy must not find this one still holding the
// application's name).
namespace corvane::shell {

inline constexpr std::string_view bundleExecutable = "bin/corvane";
std::string executableIn(std::string_view bundle);

// A /bin/sh command line, to be started detached: it waits for `pid` to end, starts the bundle's
// executable, then (with `volume` set) unmounts the volume the app was moved from.
std::vector<std::string> relaunchCommand(long pid, const std::string& bundle, const std::string& volume = "");

} // namespace corvane::shell
