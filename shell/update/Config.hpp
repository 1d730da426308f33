#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>

namespace corvane::update {

inline constexpr std::chrono::seconds kDefaultInterval{86400};
inline constexpr std::chrono::seconds kMinimumInterval{3600};

// share/corvane/updates.ini in the bundle, written when the app was built.
struct Config {
    std::string feedURL;                       // https
    std::array<unsigned char, 32> publicKey{}; // Ed25519
    std::chrono::seconds interval = kDefaultInterval;
};

// None when the file is missing or unreadable, the feed is empty or not https, or the key is not a
// base64 Ed25519 public key. Intervals below the minimum are raised to it.
std::optional<Config> readConfig(const std::string& bundle);

// The bundle's top folder (the one holding bin/corvane) for the executable at `exe`, when this app
// may replace it itself: none for a package manager's install (under /usr, in a Flatpak or Snap
// sandbox), and none where the user cannot write the bundle or the folder around it.
std::optional<std::string> updatableBundle(const std::string& exe);

// Decodes standard base64 into exactly `size` bytes.
std::optional<std::string> decodeBase64(const std::string& text, std::size_t size);

} // namespace corvane::update
