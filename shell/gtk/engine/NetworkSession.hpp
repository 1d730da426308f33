#pragma once

#include <webkit/webkit.h>

namespace corvane::gtk {

// The app's persistent network session (cookies, storage and cache under the XDG data and cache folders),
// with the development certificate trusted where the build has one. Asking it to resolve the service's
// host also starts the engine's network process, which takes a few hundred milliseconds to come up: the
// process entry calls this as soon as it knows it is the running instance, before the toolkit starts, so
// that the process is ready when the first load is asked for.
WebKitNetworkSession* startNetworkSession();

} // namespace corvane::gtk
