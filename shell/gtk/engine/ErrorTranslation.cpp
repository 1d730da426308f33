#include "engine/ErrorTranslation.hpp"

#include <array>

#include "UrlError.hpp"

namespace corvane::gtk {

namespace {

using core::UrlError;

struct Row {
    std::string_view domain;
    int code;
    core::UrlError urlCode;
};

// GIO error codes (gioenums.h), resolver, TLS and WebKit codes, by number so this table needs no GTK.
// Every failure that leaves no usable connection to the server is one the offline rule knows.
constexpr std::array<Row, 18> kRows{{
    {"g-resolver-error-quark", 0, UrlError::cannotFindHost},    // NOT_FOUND: cannot find host
    {"g-resolver-error-quark", 1, UrlError::dnsLookupFailed},   // TEMPORARY_FAILURE: DNS lookup failed
    {"g-resolver-error-quark", 2, UrlError::dnsLookupFailed},   // INTERNAL: DNS lookup failed
    {"g-io-error-quark", 28, UrlError::cannotFindHost},         // HOST_NOT_FOUND
    {"g-io-error-quark", 39, UrlError::cannotConnectToHost},    // CONNECTION_REFUSED
    {"g-io-error-quark", 24, UrlError::timedOut},               // TIMED_OUT
    {"g-io-error-quark", 37, UrlError::cannotConnectToHost},    // HOST_UNREACHABLE: cannot connect to host
    {"g-io-error-quark", 38, UrlError::notConnectedToInternet}, // NETWORK_UNREACHABLE: not connected
    {"g-io-error-quark", 40, UrlError::cannotConnectToHost},    // PROXY_FAILED
    {"g-io-error-quark", 41, UrlError::cannotConnectToHost},    // PROXY_AUTH_FAILED: the proxy turned us away
    {"g-io-error-quark", 43, UrlError::cannotConnectToHost},    // PROXY_NOT_ALLOWED
    {"g-io-error-quark", 34,
     UrlError::networkConnectionLost}, // PARTIAL_INPUT: closed before the answer ("terminated unexpectedly")
    {"g-io-error-quark", 44, UrlError::networkConnectionLost}, // CONNECTION_CLOSED (= BROKEN_PIPE): reset
    {"g-io-error-quark", 45, UrlError::networkConnectionLost}, // NOT_CONNECTED
    // Closed during or after the handshake: no connection, not a certificate the user should hear about.
    {"g-tls-error-quark", 3, UrlError::networkConnectionLost}, // NOT_TLS: "peer failed to perform TLS handshake"
    {"g-tls-error-quark", 6, UrlError::networkConnectionLost}, // EOF
    {"g-io-error-quark", 19, UrlError::cancelled},             // CANCELLED
    {"WebKitNetworkError", 302, UrlError::cancelled},          // CANCELLED
}};
} // namespace

TranslatedError translateLoadError(std::string_view glibDomain, int code) {
    for (const auto& row : kRows)
        if (row.domain == glibDomain && row.code == code)
            return {std::string(core::urlErrorDomain), core::code(row.urlCode)};
    if (glibDomain == "g-tls-error-quark")
        return {std::string(core::urlErrorDomain), core::code(core::UrlError::secureConnectionFailed)};
    return {std::string(glibDomain), code};
}

} // namespace corvane::gtk
