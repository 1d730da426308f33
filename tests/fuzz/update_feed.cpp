// The update feed: unsigned text from the network. Input: the feed.
#include "Check.hpp"
#include "Feed.hpp"
#include "Version.hpp"

using namespace corvane;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto items = update::parseFeed(text(data, size));
    if (!items) return 0;
    for (const auto& item : *items)
        require(!item.version.empty() && !item.url.empty() && !item.signature.empty() && item.length > 0 &&
                !item.displayVersion.empty() && item.description.size() <= size);
    if (auto newest = update::newestUpdate(*items, "1.0.0")) {
        require(core::Version::compare(newest->version, "1.0.0") > 0);
        for (const auto& item : *items)
            require(core::Version::compare(item.version, newest->version) <= 0 ||
                    core::Version::compare(item.version, "1.0.0") <= 0);
    }
    return 0;
}
