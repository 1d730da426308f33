#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Outcome.hpp"

namespace corvane::update {

inline constexpr std::uint64_t kMaxUnpackedBytes = 2ull << 30;

// Unpacks the .tar.xz at `archive` into the new folder `into` and returns the unpacked bundle (the
// folder holding bin/corvane: `into` itself or its one top folder), or the reason it was refused.
// Refused: absolute paths, ".." anywhere, anything but files, folders and links, links that point
// outside `into`, entries reached through a link, more than kMaxUnpackedBytes. Nothing of a refused
// archive is left behind.
Outcome<std::string> unpack(const std::string& archive, const std::string& into);

} // namespace corvane::update
