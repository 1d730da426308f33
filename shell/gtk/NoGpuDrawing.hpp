#pragma once

#include <string>
#include <vector>

#include <gio/gio.h>
#include <webkit/webkit.h>

namespace corvane::gtk {

// Works around: WebKitGTK composites pages on the GPU by default, also on a machine without one (no
// /dev/dri: virtual machines, containers, remote desktops), where that is done in software; drawing
// directly instead starts sooner and keeps about a quarter less memory. With a GPU the engine's own
// policy stays. Can go once the engine makes this choice itself.
void drawDirectlyWithoutGpu(WebKitSettings* settings);

// The same choice for what runs before any view exists. Without a GPU, GTK's OpenGL probe (in this
// process and again in every web process) and the engine's compositing set-up only find the software
// rasteriser, and keep its state: about 7 MiB at the first page. They are switched off through the
// environment before GTK or the engine starts; the engine's processes inherit it. A value the user set is
// kept. (Naming the render node as well would spare the engine's own probe, but the engine then stops
// passing the desktop's dark style on to pages.) Can go with drawDirectlyWithoutGpu.
void skipGpuProbesWithoutGpu();

struct EnvSetting {
    std::string name;
    std::string value;
};
// The variables to set; lookup reads the environment as the user left it.
std::vector<EnvSetting> gpuProbeSwitches(bool hasGpu, unsigned gtkMinorVersion, const char* (*lookup)(const char*));

// Programs the app starts (a browser, a relaunched copy) get the environment without those switches, so
// that they make their own choice.
GAppLaunchContext* newLaunchContext(); // the display's own, which also carries the activation token
GStrv environmentWithoutGpuProbeSwitches();

} // namespace corvane::gtk
