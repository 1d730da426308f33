#include "engine/quirks/NoGpuDrawing.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtk/gtk.h>

namespace corvane::gtk {

namespace {

bool hasGpu() { return g_file_test("/dev/dri", G_FILE_TEST_IS_DIR); }

Gpu thisGpu() {
    g_autofree char* modules = nullptr;
    gsize length = 0;
    if (!g_file_get_contents("/proc/modules", &modules, &length, nullptr)) return gpuFrom(hasGpu(), "");
    return gpuFrom(hasGpu(), std::string_view(modules, length));
}

// What this process set, so that the programs it starts can be spared it.
std::vector<std::string>& switchesSet() {
    static std::vector<std::string> names;
    return names;
}

} // namespace

void drawDirectlyWithoutGpu(WebKitSettings* settings) {
    if (!hasGpu())
        webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

Gpu gpuFrom(bool hasDri, std::string_view procModules) {
    if (!hasDri) return Gpu::none;
    // One module a line, its name first: "nvidia 56823808 … Live 0x0000000000000000 (POE)".
    for (std::size_t start = 0; start < procModules.size();) {
        const std::size_t end = std::min(procModules.find('\n', start), procModules.size());
        const std::string_view line = procModules.substr(start, end - start);
        if (line.substr(0, line.find(' ')) == "nvidia") return Gpu::nvidiaProprietary;
        start = end + 1;
    }
    return Gpu::some;
}

std::vector<EnvSetting> gpuProbeSwitches(Gpu gpu, unsigned gtkMinorVersion, const char* (*lookup)(const char*)) {
    std::vector<EnvSetting> switches;
    const auto add = [&](const char* name, const char* value) {
        if (!lookup(name)) switches.push_back({name, value});
    };
    if (gpu == Gpu::nvidiaProprietary && !lookup("WEBKIT_DISABLE_COMPOSITING_MODE")) {
        add("WEBKIT_DISABLE_DMABUF_RENDERER", "1");
        return switches;
    }
    if (gpu != Gpu::none) return switches;
    // A renderer the user asked for that draws with OpenGL or Vulkan needs GTK's probe.
    const char* renderer = lookup("GSK_RENDERER");
    if (!renderer || !*renderer || std::strcmp(renderer, "cairo") == 0) {
        // GTK 4.16 moved the switch out of the debug flags.
        if (gtkMinorVersion >= 16) add("GDK_DISABLE", "gl");
        else add("GDK_DEBUG", "gl-disable");
    }
    add("WEBKIT_DISABLE_COMPOSITING_MODE", "1");
    return switches;
}

void skipGpuProbesWithoutGpu() {
    const auto lookup = [](const char* name) -> const char* { return std::getenv(name); };
    for (const auto& setting : gpuProbeSwitches(thisGpu(), gtk_get_minor_version(), lookup)) {
        g_setenv(setting.name.c_str(), setting.value.c_str(), TRUE);
        switchesSet().push_back(setting.name);
    }
}

const std::vector<std::string>& gpuProbeSwitchesSet() { return switchesSet(); }

GStrv environmentWithoutGpuProbeSwitches() {
    GStrv environment = g_get_environ();
    for (const auto& name : switchesSet()) environment = g_environ_unsetenv(environment, name.c_str());
    return environment;
}

} // namespace corvane::gtk
