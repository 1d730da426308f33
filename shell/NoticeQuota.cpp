#include "NoticeQuota.hpp"

#include <algorithm>
#include <iterator>

namespace corvane::shell {

namespace {
constexpr auto kReplaceWindow = std::chrono::minutes(1);
}

bool NoticeQuota::Bucket::has(Time now) {
    if (last) tokens = std::min(capacity, tokens + std::chrono::duration<double>(now - *last) / refill);
    last = now;
    return tokens >= 1;
}

bool NoticeQuota::take(const std::optional<std::string>& tag, Time now) {
    std::erase_if(counted_, [now](const auto& entry) { return now - entry.second >= kReplaceWindow; });
    const bool replaces = tag && counted_.contains(*tag);
    const bool counts = !replaces;
    if (!posts_.has(now) || (counts && !notices_.has(now))) return false;
    posts_.tokens -= 1;
    if (counts) {
        notices_.tokens -= 1;
        if (tag) counted_.emplace(*tag, now);
    }
    return true;
}

} // namespace corvane::shell
