#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "NoGpuDrawing.hpp"

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
        bool gpu;
        unsigned gtkMinor;
        std::map<std::string, std::string> env;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"a GPU: the engine and GTK choose", true, 8, {}, {}},
        {"GTK 4.8", false, 8, {}, {"GDK_DEBUG=gl-disable", compositing}},
        {"GTK 4.16 has its own variable", false, 16, {}, {"GDK_DISABLE=gl", compositing}},
        {"software drawing asked for", false, 8, {{"GSK_RENDERER", "cairo"}}, {"GDK_DEBUG=gl-disable", compositing}},
        {"an OpenGL renderer asked for keeps GTK's probe", false, 8, {{"GSK_RENDERER", "gl"}}, {compositing}},
        {"a Vulkan renderer too", false, 18, {{"GSK_RENDERER", "vulkan"}}, {compositing}},
        {"the user's debug flags stay as they are", false, 8, {{"GDK_DEBUG", "events"}}, {compositing}},
        {"the user's own engine choices stay",
         false,
         8,
         {{"WEBKIT_DISABLE_COMPOSITING_MODE", "0"}, {"GDK_DISABLE", "vulkan"}},
         {"GDK_DEBUG=gl-disable"}},
    };
    for (const auto& c : cases) {
        environment = c.env;
        EXPECT_EQ(names(gpuProbeSwitches(c.gpu, c.gtkMinor, lookup)), c.expected) << c.what;
    }
}

} // namespace
} // namespace corvane::gtk
