#pragma once

#include <string_view>

namespace corvane::core {

// The URL-loading error domain and codes the rules speak in, whatever the engine reported.
inline constexpr std::string_view urlErrorDomain = "NSURLErrorDomain";

enum class UrlError : long long {
    cancelled = -999,
    timedOut = -1001,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    dnsLookupFailed = -1006,
    notConnectedToInternet = -1009,
    internationalRoamingOff = -1018,
    callIsActive = -1019,
    dataNotAllowed = -1020,
    secureConnectionFailed = -1200,
};

constexpr long long code(UrlError error) { return static_cast<long long>(error); }

} // namespace corvane::core
