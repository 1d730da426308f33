#pragma once

#include <string>

namespace corvane::update {

// Puts the unpacked bundle `staged` in the place of `bundle` by renames on one file system: the old
// bundle steps aside first and comes back if the new one cannot take its place; it is deleted only
// once the new one is there. Returns the reason it failed, or empty.
std::string swapBundle(const std::string& bundle, const std::string& staged);

// Where downloads and unpacked updates wait: hidden, beside the bundle.
std::string stagingPath(const std::string& bundle, const std::string& what);

} // namespace corvane::update
