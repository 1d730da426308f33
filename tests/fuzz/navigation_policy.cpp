// Navigation, sign-in start and sign-in return rules over one URL; the attachment rule over the same text
// taken as a Content-Disposition value.
#include "Bridge.hpp"
#include "Check.hpp"
#include "NavigationPolicy.hpp"

using namespace corvane::core;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const AppOrigins origins({"https://app.example", "http://localhost:8080"});
    const std::string header(text(data, size));
    const bool attachment = NavigationPolicy::isAttachment(header);
    // Parameters never change the type, nor does its case.
    require(NavigationPolicy::isAttachment(header + "; filename=x") == attachment);
    std::string upper = header;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    require(NavigationPolicy::isAttachment(upper) == attachment);
    auto url = Url::parse(text(data, size));
    if (!url) return 0;
    const bool trusted = origins.contains(*url);
    const auto main = NavigationPolicy::decide(*url, true, origins);
    const auto sub = NavigationPolicy::decide(*url, false, origins);
    const auto popup = NavigationPolicy::decideNewWindow(*url, origins);
    require((main == NavigationDecision::allow) == trusted && (popup == NavigationDecision::allow) == trusted);
    require(sub != NavigationDecision::external);
    if (main == NavigationDecision::external) require(NavigationPolicy::externalSchemes().contains(url->schemeLower()));
    if (Bridge::isSignInStart(*url, origins)) require(url->schemeLower() == "https" && !url->hasUserInfo());
    if (Bridge::authScript(*url)) require(Bridge::isAuthCallback(*url));
    return 0;
}
