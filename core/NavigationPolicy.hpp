#pragma once

#include <set>
#include <string>

#include "AppOrigins.hpp"
#include "Url.hpp"

namespace corvane::core {

enum class NavigationDecision { allow, external, deny };

namespace NavigationPolicy {

// Schemes that may be handed to the system's default handlers.
const std::set<std::string, std::less<>>& externalSchemes();

NavigationDecision decide(const Url& url, bool mainFrame, const AppOrigins& origins);
NavigationDecision decideNewWindow(const Url& url, const AppOrigins& origins);

} // namespace NavigationPolicy

const char* toString(NavigationDecision decision);

} // namespace corvane::core
