#include "NavigationPolicy.hpp"

namespace corvane::core {

namespace {

// Whether an outside URL names something to open at all ("mailto:" alone does not).
bool hasTarget(const Url& url, const std::string& scheme) {
    if (scheme == "http" || scheme == "https") return url.hasHost() && !url.host().empty();
    return url.text().size() > scheme.size() + 1;
}

bool isExternal(const Url& url, const std::string& scheme) {
    return NavigationPolicy::externalSchemes().contains(scheme) && hasTarget(url, scheme);
}

} // namespace

namespace NavigationPolicy {

const std::set<std::string, std::less<>>& externalSchemes() {
    static const std::set<std::string, std::less<>> schemes{"https", "http", "mailto", "tel", "sms", "facetime"};
    return schemes;
}

NavigationDecision decide(const Url& url, bool mainFrame, const AppOrigins& origins) {
    if (origins.contains(url)) return NavigationDecision::allow;
    const std::string scheme = url.schemeLower();
    if (mainFrame) return isExternal(url, scheme) ? NavigationDecision::external : NavigationDecision::deny;
    const bool subFrameScheme = scheme == "https" || scheme == "about" || scheme == "blob" || scheme == "data";
    return subFrameScheme ? NavigationDecision::allow : NavigationDecision::deny;
}

NavigationDecision decideNewWindow(const Url& url, const AppOrigins& origins) {
    if (origins.contains(url)) return NavigationDecision::allow;
    return isExternal(url, url.schemeLower()) ? NavigationDecision::external : NavigationDecision::deny;
}

} // namespace NavigationPolicy

const char* toString(NavigationDecision decision) {
    switch (decision) {
        case NavigationDecision::allow:
            return "allow";
        case NavigationDecision::external:
            return "external";
        case NavigationDecision::deny:
            return "deny";
    }
    return "deny";
}

} // namespace corvane::core
