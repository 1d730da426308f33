#include "UnsettledNavigations.hpp"

namespace corvane::shell {

void UnsettledNavigations::remember(const core::Url& url, NavigationType type) {
    // Bounded: entries are only needed until their response arrives.
    if (byURL_.size() >= 64) byURL_.clear();
    byURL_[std::string(url.text())] = type;
}

std::optional<NavigationType> UnsettledNavigations::settle(const core::Url& url) {
    auto it = byURL_.find(url.text());
    if (it == byURL_.end()) return std::nullopt;
    const NavigationType type = it->second;
    byURL_.erase(it);
    return type;
}

} // namespace corvane::shell
