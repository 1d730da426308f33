#pragma once

#include <webkit/webkit.h>

namespace corvane::gtk {

// Works around: WebKitGTK composites pages on the GPU by default, also on a machine without one (no
// /dev/dri: virtual machines, containers, remote desktops), where that is done in software; drawing
// directly instead starts sooner and keeps about a quarter less memory. With a GPU the engine's own
// policy stays. Can go once the engine makes this choice itself.
void drawDirectlyWithoutGpu(WebKitSettings* settings);

} // namespace corvane::gtk
