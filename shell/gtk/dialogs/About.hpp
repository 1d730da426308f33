#pragma once

#include <string>

#include <gtk/gtk.h>

#include "AppId.hpp"

namespace corvane::gtk {

// Installed under the application id.
inline constexpr const char* kAppIconName = kAppId;

// Loads libadwaita's styles and makes the app's icon the default for its windows (X11 shows it), finding
// it in the source tree when the build was not installed. Called before each first window of a kind, not
// at start-up: the styles take about 50 ms, and the page's first request goes out before that.
void prepareWindows();

// The icon theme folder (holding hicolor/…) to look the icon up in, for those outside this process
// (status-area hosts) too; empty when the installed icon theme has it.
std::string appIconDirectory();

// The About window, one at a time, attached to parent.
void showAbout(GtkWindow* parent);

} // namespace corvane::gtk
