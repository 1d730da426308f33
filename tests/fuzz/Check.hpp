#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvane::fuzz {

// A broken promise is a finding, as much as a crash.
inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

inline std::string_view text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at its first line feed; without one, both halves are the whole input.
struct Halves {
    std::string_view first, second;
};
inline Halves halves(std::string_view input) {
    const auto cut = input.find('\n');
    if (cut == std::string_view::npos) return {input, input};
    return {input.substr(0, cut), input.substr(cut + 1)};
}

} // namespace corvane::fuzz
