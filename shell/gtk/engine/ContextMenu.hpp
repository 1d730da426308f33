#pragma once

#include <webkit/webkit.h>

namespace corvane::gtk {

// Drops the engine's entries the app does not offer (reload, inspector, open in new window) and the
// separators that would be left leading, trailing or doubled.
void trimContextMenu(WebKitContextMenu* menu);

} // namespace corvane::gtk
