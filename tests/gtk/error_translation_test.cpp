#include <gtest/gtest.h>
#include <webkit/webkit.h>

#include "ErrorTranslation.hpp"
#include "Offline.hpp"

namespace corvane::gtk {
namespace {

struct Case {
    const char* what;
    GQuark domain;
    int code;
    long long urlCode; // 0: keeps its own domain and code
    bool offline;
};

// Each row names the engine's error by its library constant, so a table entry with a wrong number fails.
TEST(ErrorTranslation, RealEngineErrorsReachTheOfflineRuleAsTheirUrlErrors) {
    const Case cases[] = {
        {"connection refused (service down)", G_IO_ERROR, G_IO_ERROR_CONNECTION_REFUSED, -1004, true},
        {"unknown host", G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, -1003, true},
        {"resolver temporarily failing", G_RESOLVER_ERROR, G_RESOLVER_ERROR_TEMPORARY_FAILURE, -1006, true},
        {"host not found", G_IO_ERROR, G_IO_ERROR_HOST_NOT_FOUND, -1003, true},
        {"no route (no network at all)", G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE, -1009, true},
        {"host unreachable", G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE, -1004, true},
        {"timed out", G_IO_ERROR, G_IO_ERROR_TIMED_OUT, -1001, true},
        {"connection reset", G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED, -1005, true},
        {"not connected", G_IO_ERROR, G_IO_ERROR_NOT_CONNECTED, -1005, true},
        {"proxy failed", G_IO_ERROR, G_IO_ERROR_PROXY_FAILED, -1004, true},
        {"cancelled by GIO", G_IO_ERROR, G_IO_ERROR_CANCELLED, -999, false},
        {"cancelled by WebKit", WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, -999, false},
        {"untrusted certificate", G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, -1200, false},
        {"reset during the TLS handshake", G_TLS_ERROR, G_TLS_ERROR_NOT_TLS, -1200, false},
        {"interrupted by a policy decision", WEBKIT_POLICY_ERROR,
         WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, 0, false},
        {"generic GIO failure", G_IO_ERROR, G_IO_ERROR_FAILED, 0, false},
        {"proxy wants a password", G_IO_ERROR, G_IO_ERROR_PROXY_NEED_AUTH, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const char* quark = g_quark_to_string(c.domain);
        const auto out = translateLoadError(quark, c.code);
        if (c.urlCode) {
            EXPECT_EQ(out.domain, core::Offline::urlErrorDomain);
            EXPECT_EQ(out.code, c.urlCode);
        } else {
            EXPECT_EQ(out.domain, quark);
            EXPECT_EQ(out.code, c.code);
        }
        EXPECT_EQ(core::Offline::isNoConnection(out.domain, out.code), c.offline);
    }
}

TEST(ErrorTranslation, SameCodeInAnotherDomainIsNotTakenForIt) {
    // 39 is connection refused only in GIO's domain; 0 is not-found only in the resolver's.
    for (const auto& [domain, code] : {std::pair{"WebKitNetworkError", 39}, std::pair{"g-io-error-quark", 0},
                                       std::pair{"", 39}, std::pair{"G-IO-ERROR-QUARK", 39}}) {
        SCOPED_TRACE(domain);
        const auto out = translateLoadError(domain, code);
        EXPECT_EQ(out.domain, domain);
        EXPECT_EQ(out.code, code);
        EXPECT_FALSE(core::Offline::isNoConnection(out.domain, out.code));
    }
}

} // namespace
} // namespace corvane::gtk
