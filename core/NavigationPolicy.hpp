#pragma once

#include <set>
#include <string>
#include <string_view>

#include "AppOrigins.hpp"
#include "Url.hpp"

namespace corvane::core {

enum class NavigationDecision { allow, external, deny };

namespace NavigationPolicy {

// Schemes that may be handed to the system's default handlers.
const std::set<std::string, std::less<>>& externalSchemes();

NavigationDecision decide(const Url& url, bool mainFrame, const AppOrigins& origins);
NavigationDecision decideNewWindow(const Url& url, const AppOrigins& origins);

// Whether a response with this Content-Disposition value is a file to save rather than a page to show.
// As the engine and browsers read it: any disposition type but "inline" is, even one unknown; a value
// that starts with no type at all (a bare "filename=…", say) is not.
bool isAttachment(std::string_view contentDisposition);

} // namespace NavigationPolicy

const char* toString(NavigationDecision decision);

} // namespace corvane::core
