#pragma once

#include <cstdint>

namespace corvane::shell::Palette {

// Packed 0xRRGGBB, sRGB, alpha 1.
struct Dynamic {
    std::uint32_t light, dark;
    std::uint32_t resolve(bool darkAppearance) const { return darkAppearance ? dark : light; }
};

inline constexpr Dynamic ground{0xE3E5DF, 0x1D221F};
inline constexpr Dynamic ink{0x1B1F1A, 0xE7EAE4};
inline constexpr Dynamic ink2{0x4C5348, 0xB4BBB1};
inline constexpr std::uint32_t fir = 0x2C4A3C;
inline constexpr std::uint32_t cream = 0xF4F1EA;

} // namespace corvane::shell::Palette
