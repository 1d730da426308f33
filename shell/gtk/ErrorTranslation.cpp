#include "ErrorTranslation.hpp"

#include <array>

namespace corvane::gtk {

namespace {

struct Row {
    std::string_view domain;
    int code;
    long long urlCode;
};

// GIO error codes (gioenums.h), resolver codes and libsoup's, by number so this table needs no GTK.
constexpr std::array<Row, 12> kRows{{
    {"g-resolver-error-quark", 0, -1003},  // NOT_FOUND: cannot find host
    {"g-resolver-error-quark", 1, -1006},  // TEMPORARY_FAILURE: DNS lookup failed
    {"g-io-error-quark", 28, -1003},       // HOST_NOT_FOUND
    {"g-io-error-quark", 39, -1004},       // CONNECTION_REFUSED
    {"g-io-error-quark", 24, -1001},       // TIMED_OUT
    {"g-io-error-quark", 37, -1004},       // HOST_UNREACHABLE: cannot connect to host
    {"g-io-error-quark", 38, -1009},       // NETWORK_UNREACHABLE: not connected
    {"g-io-error-quark", 40, -1004},       // PROXY_FAILED
    {"g-io-error-quark", 44, -1005},       // CONNECTION_CLOSED: connection lost
    {"g-io-error-quark", 45, -1005},       // NOT_CONNECTED
    {"g-io-error-quark", 19, -999},        // CANCELLED
    {"WebKitNetworkError", 302, -999},     // CANCELLED
}};

} // namespace

TranslatedError translateLoadError(std::string_view glibDomain, int code) {
    for (const auto& row : kRows)
        if (row.domain == glibDomain && row.code == code) return {"NSURLErrorDomain", row.urlCode};
    if (glibDomain == "g-tls-error-quark") return {"NSURLErrorDomain", -1200};
    return {std::string(glibDomain), code};
}

} // namespace corvane::gtk
