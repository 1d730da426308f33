#include "ErrorTranslation.hpp"

#include <array>

namespace corvane::gtk {

namespace {

struct Row {
    std::string_view domain;
    int code;
    long long urlCode;
};

// GIO error codes (gioenums.h), resolver, TLS and WebKit codes, by number so this table needs no GTK.
// Every failure that leaves no usable connection to the server is one the offline rule knows.
constexpr std::array<Row, 18> kRows{{
    {"g-resolver-error-quark", 0, -1003}, // NOT_FOUND: cannot find host
    {"g-resolver-error-quark", 1, -1006}, // TEMPORARY_FAILURE: DNS lookup failed
    {"g-resolver-error-quark", 2, -1006}, // INTERNAL: DNS lookup failed
    {"g-io-error-quark", 28, -1003},      // HOST_NOT_FOUND
    {"g-io-error-quark", 39, -1004},      // CONNECTION_REFUSED
    {"g-io-error-quark", 24, -1001},      // TIMED_OUT
    {"g-io-error-quark", 37, -1004},      // HOST_UNREACHABLE: cannot connect to host
    {"g-io-error-quark", 38, -1009},      // NETWORK_UNREACHABLE: not connected
    {"g-io-error-quark", 40, -1004},      // PROXY_FAILED
    {"g-io-error-quark", 41, -1004},      // PROXY_AUTH_FAILED: the proxy turned us away
    {"g-io-error-quark", 43, -1004},      // PROXY_NOT_ALLOWED
    {"g-io-error-quark", 34, -1005},      // PARTIAL_INPUT: closed before the answer ("terminated unexpectedly")
    {"g-io-error-quark", 44, -1005},      // CONNECTION_CLOSED (= BROKEN_PIPE): reset
    {"g-io-error-quark", 45, -1005},      // NOT_CONNECTED
    // Closed during or after the handshake: no connection, not a certificate the user should hear about.
    {"g-tls-error-quark", 3, -1005},   // NOT_TLS: "peer failed to perform TLS handshake"
    {"g-tls-error-quark", 6, -1005},   // EOF
    {"g-io-error-quark", 19, -999},    // CANCELLED
    {"WebKitNetworkError", 302, -999}, // CANCELLED
}};
} // namespace

TranslatedError translateLoadError(std::string_view glibDomain, int code) {
    for (const auto& row : kRows)
        if (row.domain == glibDomain && row.code == code) return {"NSURLErrorDomain", row.urlCode};
    if (glibDomain == "g-tls-error-quark") return {"NSURLErrorDomain", -1200};
    return {std::string(glibDomain), code};
}

} // namespace corvane::gtk
