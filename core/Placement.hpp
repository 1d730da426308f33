#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform.hpp"

namespace corvane::core::Placement {

// Where an app counts as installed or freshly downloaded. A leading "~" stands for the standardised
// home; other entries are absolute folders. Prefixes end in "/".
struct Places {
    std::vector<std::string> installed;  // under one of these: no offer
    std::vector<std::string> quarantine; // anywhere in the path: a copy the system moved aside
    std::vector<std::string> volumes;    // each folder directly below one of these is a mounted volume
    std::vector<std::string> downloads;  // download-like folders
    std::string destination;             // the folder the moved app goes into

    static const Places& macOS();
    // `downloadDirs`: the user's download and desktop folders; ones that are the home itself or "/"
    // are left out, or everything in the home would count as a download.
    static Places forLinux(std::string_view user, const std::vector<std::string>& downloadDirs, std::string_view home);
};

// Whether the app runs from a place typical of a fresh download, and so should offer to move.
bool shouldOffer(std::string_view bundlePath, std::string_view home);
bool shouldOffer(std::string_view bundlePath, std::string_view home, const Places& places);
std::string destination(std::string_view bundlePath);
std::string destination(std::string_view bundlePath, std::string_view home, const Places& places);
// The mount point of the volume a bundle lies inside (the bundle is not the volume itself), or none.
std::optional<std::string> volumeOf(std::string_view bundlePath, std::string_view home, const Places& places);
// Tilde expanded against `home`, "//" and "." dropped, ".." resolved lexically, no trailing "/".
std::string standardize(std::string_view path, std::string_view home);
// The informative text of the alert shown when the app could not move itself.
std::string_view moveFailedText(Platform platform);

} // namespace corvane::core::Placement
