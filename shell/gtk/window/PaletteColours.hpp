#pragma once

#include <cstdint>
#include <string>

#include <gtk/gtk.h>

// The palette's packed 0xRRGGBB colours as GTK takes them.
namespace corvane::gtk {

// For CSS: "#RRGGBB".
inline std::string hex(std::uint32_t packed) {
    char buffer[8];
    g_snprintf(buffer, sizeof buffer, "#%06X", packed & 0xFFFFFF);
    return buffer;
}

// Opaque.
inline GdkRGBA rgba(std::uint32_t packed) {
    return {((packed >> 16) & 0xFF) / 255.0f, ((packed >> 8) & 0xFF) / 255.0f, (packed & 0xFF) / 255.0f, 1.0f};
}

} // namespace corvane::gtk
