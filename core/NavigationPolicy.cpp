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

// RFC 9110's tchar.
bool isTokenChar(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool equalsLowerCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != lower[i]) return false;
    }
    return true;
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

bool isAttachment(std::string_view contentDisposition) {
    std::string_view type = contentDisposition.substr(0, contentDisposition.find(';'));
    constexpr std::string_view space = " \t\r\n\f";
    const auto first = type.find_first_not_of(space);
    if (first == std::string_view::npos) return false;
    type = type.substr(first, type.find_last_not_of(space) - first + 1);
    for (const char c : type)
        if (!isTokenChar(c)) return false;
    return !equalsLowerCase(type, "inline");
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
