#include "Offline.hpp"

#include <algorithm>
#include <array>

namespace corvane::core::Offline {

std::string_view body(Platform platform) {
    if (platform == Platform::macOS)
        return "Corvane needs signal the first time it opens on this Mac. After that, your farm opens here with or "
               "without signal.";
    return "Corvane needs signal the first time it opens on this computer. After that, your farm opens here with or "
           "without signal.";
}

bool isNoConnection(std::string_view domain, long long code) {
    if (domain == urlErrorDomain) {
        static constexpr std::array<UrlError, 9> codes{
            UrlError::notConnectedToInternet,  UrlError::cannotConnectToHost, UrlError::cannotFindHost,
            UrlError::networkConnectionLost,   UrlError::dnsLookupFailed,     UrlError::timedOut,
            UrlError::internationalRoamingOff, UrlError::dataNotAllowed,      UrlError::callIsActive};
        return std::find(codes.begin(), codes.end(), static_cast<UrlError>(code)) != codes.end();
    }
    if (domain == networkErrorDomain) return code == 2 || code == 306 || code == 310 || (code >= 100 && code <= 129);
    return false;
}

} // namespace corvane::core::Offline
