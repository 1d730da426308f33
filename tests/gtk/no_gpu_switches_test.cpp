#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/quirks/NoGpuDrawing.hpp"

namespace corvane::gtk {
namespace {

// The environment a case runs against; a captureless lookup needs it at namespace scope.
std::map<std::string, std::string> environment;
const char* lookup(const char* name) {
    auto it = environment.find(name);
    return it == environment.end() ? nullptr : it->second.c_str();
}

std::vector<std::string> names(const std::vector<EnvSetting>& settings) {
    std::vector<std::string> out;
    for (const auto& s : settings) out.push_back(s.name + "=" + s.value);
    return out;
}

const std::string compositing = "WEBKIT_DISABLE_COMPOSITING_MODE=1";

TEST(GpuProbeSwitches, SetOnlyWithoutAGpuAndNeverOverTheUsersOwn) {
    struct Case {
        const char* what;
        Gpu gpu;
        unsigned gtkMinor;
        std::map<std::string, std::string> env;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"a GPU: the engine and GTK choose", Gpu::some, 8, {}, {}},
        {"NVIDIA's driver: no DMA-BUF renderer", Gpu::nvidiaProprietary, 18, {}, {"WEBKIT_DISABLE_DMABUF_RENDERER=1"}},
        {"NVIDIA's driver, the user's own renderer choice stays",
         Gpu::nvidiaProprietary,
         8,
         {{"WEBKIT_DISABLE_DMABUF_RENDERER", "0"}},
         {}},
        {"NVIDIA's driver, the user already draws without compositing",
         Gpu::nvidiaProprietary,
         8,
         {{"WEBKIT_DISABLE_COMPOSITING_MODE", "1"}},
         {}},
        {"GTK 4.8", Gpu::none, 8, {}, {"GDK_DEBUG=gl-disable", compositing}},
        {"GTK 4.16 has its own variable", Gpu::none, 16, {}, {"GDK_DISABLE=gl", compositing}},
        {"software drawing asked for",
         Gpu::none,
         8,
         {{"GSK_RENDERER", "cairo"}},
         {"GDK_DEBUG=gl-disable", compositing}},
        {"an OpenGL renderer asked for keeps GTK's probe", Gpu::none, 8, {{"GSK_RENDERER", "gl"}}, {compositing}},
        {"a Vulkan renderer too", Gpu::none, 18, {{"GSK_RENDERER", "vulkan"}}, {compositing}},
        {"the user's debug flags stay as they are", Gpu::none, 8, {{"GDK_DEBUG", "events"}}, {compositing}},
        {"the user's own engine choices stay",
         Gpu::none,
         8,
         {{"WEBKIT_DISABLE_COMPOSITING_MODE", "0"}, {"GDK_DISABLE", "vulkan"}},
         {"GDK_DEBUG=gl-disable"}},
    };
    for (const auto& c : cases) {
        environment = c.env;
        EXPECT_EQ(names(gpuProbeSwitches(c.gpu, c.gtkMinor, lookup)), c.expected) << c.what;
    }
}

TEST(GpuProbeSwitches, TheGpuIsReadFromDevDriAndTheLoadedModules) {
    const std::string nvidia =
        "nvidia_uvm 1974272 0 - Live 0x0000000000000000 (POE)\n"
        "nvidia_drm 126976 4 - Live 0x0000000000000000 (POE)\n"
        "nvidia 60854272 52 nvidia_uvm,nvidia_drm, Live 0x0000000000000000 (POE)\n";
    const std::string others =
        "nouveau 2838528 1 - Live 0x0000000000000000\nnvidiafb 53248 0 - Live 0x0\n"
        "i915 3895296 10 - Live 0x0000000000000000\n";
    struct Case {
        bool dri;
        std::string modules;
        Gpu gpu;
    } cases[] = {
        {false, "", Gpu::none},
        {false, nvidia, Gpu::none},
        {true, "", Gpu::some},
        {true, others, Gpu::some},
        {true, nvidia, Gpu::nvidiaProprietary},
        {true, "nvidia", Gpu::nvidiaProprietary},
    };
    for (const auto& c : cases) EXPECT_EQ(gpuFrom(c.dri, c.modules), c.gpu) << c.dri << " " << c.modules;
}

} // namespace
} // namespace corvane::gtk
