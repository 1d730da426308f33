#pragma once

#include <string>

#include <gtk/gtk.h>

#include "AppId.hpp"

namespace corvane::gtk {

// Installed under the application id.
inline constexpr const char* kAppIconName = kAppId;

// Makes the app's icon the default for its windows (X11 shows it), finding it in the source tree when
// the build was not installed.
void installAppIcon();

// The icon theme folder (holding hicolor/…) to look the icon up in, for those outside this process
// (status-area hosts) too; empty when the installed icon theme has it.
std::string appIconDirectory();

// The About window, one at a time, attached to parent.
void showAbout(GtkWindow* parent);

} // namespace corvane::gtk
