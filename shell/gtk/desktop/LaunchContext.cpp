#include "desktop/LaunchContext.hpp"

#include <gtk/gtk.h>

#include "engine/quirks/NoGpuDrawing.hpp"

namespace corvane::gtk {

GAppLaunchContext* newLaunchContext() {
    GdkDisplay* display = gdk_display_get_default();
    GAppLaunchContext* context =
        display ? G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)) : g_app_launch_context_new();
    for (const auto& name : gpuProbeSwitchesSet()) g_app_launch_context_unsetenv(context, name.c_str());
    return context;
}

} // namespace corvane::gtk
