#pragma once

#include <string_view>

#include "Platform.hpp"
#include "UrlError.hpp"

namespace corvane::core::Offline {

inline constexpr std::string_view title = "Connect to the internet once to set up Corvane";
std::string_view body(Platform platform);
inline constexpr std::string_view retry = "Retry";
// Fires the page's "pagehide" before the app quits.
inline constexpr std::string_view quitScript =
    "(() => { let e; try { e = new PageTransitionEvent(\"pagehide\", { persisted: false }); } catch (x) { e = new "
    "Event(\"pagehide\"); }\n  window.dispatchEvent(e); return \"ok\"; })()";

using core::urlErrorDomain;
inline constexpr std::string_view networkErrorDomain = "kCFErrorDomainCFNetwork";

// Whether a failed load means the network (or the way to the server) is missing.
bool isNoConnection(std::string_view domain, long long code);

} // namespace corvane::core::Offline
