#pragma once

#include <string>
#include <string_view>
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

// Works around: with NVIDIA's proprietary driver the engine's DMA-BUF renderer (WebKitGTK 2.42 and later)
// leaves the window blank or white, and on some Wayland compositors ends the app with protocol error 71
// (WebKit bugs 261874, 228268 and 262607; still reported against WebKitGTK 2.52 in 2026). Drawing through
// shared memory instead is the engine's own fallback. Where its kernel module is loaded and the user has
// set none of the engine's variables, WEBKIT_DISABLE_DMABUF_RENDERER=1 is set. Can go once the engine
// picks its renderer by driver, or once that driver's DMA-BUF export works with it.
enum class Gpu { none, some, nvidiaProprietary };
// From whether /dev/dri exists and the text of /proc/modules.
Gpu gpuFrom(bool hasDri, std::string_view procModules);

struct EnvSetting {
    std::string name;
    std::string value;
};
// The variables to set; lookup reads the environment as the user left it.
std::vector<EnvSetting> gpuProbeSwitches(Gpu gpu, unsigned gtkMinorVersion, const char* (*lookup)(const char*));

// The switches set above, by name. Programs the app starts (a browser, a relaunched copy) get the
// environment without them, so that they make their own choice.
const std::vector<std::string>& gpuProbeSwitchesSet();
GStrv environmentWithoutGpuProbeSwitches();

} // namespace corvane::gtk
