#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace corvane::shell {

// How many notices a page may post, so a loop of notify() calls cannot get the app refused by the
// notification server: a burst of 5 new notices, then one every 3 s (20 a minute). A notice with the tag
// of one counted in the last minute replaces it on screen and is not counted again; every post, replacements
// included, also spends from a second allowance of 10 at once and 1 a second.
class NoticeQuota {
public:
    using Time = std::chrono::steady_clock::time_point;

    // Whether a notice with this tag may be posted at `now`; a yes is spent.
    bool take(const std::optional<std::string>& tag, Time now);

private:
    struct Bucket {
        double tokens;
        double capacity;
        std::chrono::duration<double> refill; // time for one token
        std::optional<Time> last;
        bool has(Time now);
    };
    Bucket notices_{5, 5, std::chrono::seconds(3), {}};
    Bucket posts_{10, 10, std::chrono::seconds(1), {}};
    // Tags counted in the last minute, with when.
    std::map<std::string, Time, std::less<>> counted_;
};

} // namespace corvane::shell
