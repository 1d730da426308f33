#pragma once

#include <string>
#include <string_view>

#include "Platform.hpp"

namespace corvane::core::Placement {

// Whether the app runs from a place typical of a fresh download, and so should offer to move.
bool shouldOffer(std::string_view bundlePath, std::string_view home);
std::string destination(std::string_view bundlePath);
// Tilde expanded against `home`, "//" and "." dropped, ".." resolved lexically, no trailing "/".
std::string standardize(std::string_view path, std::string_view home);
// The informative text of the alert shown when the app could not move itself.
std::string_view moveFailedText(Platform platform);

} // namespace corvane::core::Placement
