#pragma once

#include <gio/gio.h>

namespace corvane::gtk {

// What the programs the app opens (a browser, a mail program) start with: the display's own context,
// which carries the activation token, without the GPU switches this process set for itself.
GAppLaunchContext* newLaunchContext();

} // namespace corvane::gtk
