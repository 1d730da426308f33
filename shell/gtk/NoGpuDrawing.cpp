#include "NoGpuDrawing.hpp"

namespace corvane::gtk {

void drawDirectlyWithoutGpu(WebKitSettings* settings) {
    if (!g_file_test("/dev/dri", G_FILE_TEST_IS_DIR))
        webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
}

} // namespace corvane::gtk
