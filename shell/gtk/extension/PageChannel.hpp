#pragma once

#include <webkit/webkit-web-process-extension.h>

#include <string>

#include "extension/TrustedOrigins.hpp"

namespace corvane::gtk::extension {

// The page's post function, installed in every window before page script runs, and the report of each
// post to the UI process with the frame, realm and origin it came from, which WebKitGTK's own script
// message handlers cannot tell. Only posts from the current document of a main frame on one of `trusted`
// (any origin when it restricts nothing) are read and reported. Lives as long as the web process.
void installPageChannel(WebKitWebProcessExtension* extension, std::string handlerName, const TrustedOrigins* trusted);

} // namespace corvane::gtk::extension
