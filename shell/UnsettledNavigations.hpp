#pragma once

#include <map>
#include <optional>
#include <string>

#include "Url.hpp"
#include "ports/WebEvents.hpp"

namespace corvane::shell {

// Works around an engine that does not say which frame a navigation action is for (the GTK backend's
// UnknownFrameNavigation): where the rules for the main frame and for a sub-frame differ, the action is
// allowed and remembered here, and settled once its frame is known: at its response, at its provisional
// failure, or when the web process stopped it as a main-frame request to another site. Can go once the
// action names its frame.
class UnsettledNavigations {
public:
    void remember(const core::Url& url, NavigationType type);
    // The type `url` was remembered with, taken out: each is settled once.
    std::optional<NavigationType> settle(const core::Url& url);

private:
    std::map<std::string, NavigationType, std::less<>> byURL_;
};

} // namespace corvane::shell
