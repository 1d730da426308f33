#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::update {

// One release of an appcast that this platform can install.
struct FeedItem {
    std::string version;        // compared with core::Version
    std::string displayVersion; // shown to people; the version when the feed gives none
    std::string title;
    std::string releaseNotesURL; // empty when none
    std::string description;     // inline release notes (HTML), empty when none
    std::string url;             // the archive
    std::uint64_t length = 0;    // the archive's size in bytes
    std::string signature;       // base64 Ed25519 signature of the archive
};

// The items of an RSS 2.0 appcast with the sparkle namespace whose enclosure is marked for Linux and
// carries a version, a URL, a length and a signature; anything else in the feed is ignored. None for
// malformed XML or a document that is not RSS. External entities and DTDs are never loaded.
std::optional<std::vector<FeedItem>> parseFeed(std::string_view xml);

// The newest item strictly above `running`.
std::optional<FeedItem> newestUpdate(const std::vector<FeedItem>& items, std::string_view running);

} // namespace corvane::update
