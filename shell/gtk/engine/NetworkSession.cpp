#include "engine/NetworkSession.hpp"

#include <string>

#include "BuildConfig.hpp"
#include "DevCert.hpp"
#include "Url.hpp"

namespace corvane::gtk {

namespace {

// A development build trusts its service's certificate for the service's host, and nothing else.
void trustDevCertificate(WebKitNetworkSession* session, const core::Url& base) {
    if (kDevCertificatePem[0] == '\0') return;
    g_autoptr(GError) error = nullptr;
    g_autoptr(GTlsCertificate) certificate = g_tls_certificate_new_from_pem(kDevCertificatePem, -1, &error);
    if (!certificate) {
        g_warning("development certificate unusable: %s", error->message);
        return;
    }
    webkit_network_session_allow_tls_certificate_for_host(session, certificate, base.hostLower().c_str());
}

} // namespace

WebKitNetworkSession* startNetworkSession() {
    const std::string data = std::string(g_get_user_data_dir()) + "/corvane";
    const std::string cache = std::string(g_get_user_cache_dir()) + "/corvane";
    WebKitNetworkSession* session = webkit_network_session_new(data.c_str(), cache.c_str());
    if (auto base = core::Url::parse(core::build::baseURL)) {
        trustDevCertificate(session, *base);
        webkit_network_session_prefetch_dns(session, base->hostLower().c_str());
    }
    return session;
}

} // namespace corvane::gtk
