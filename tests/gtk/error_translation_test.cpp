#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <webkit/webkit.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <utility>

#include "Offline.hpp"
#include "engine/ErrorTranslation.hpp"

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
        {"resolver failing", G_RESOLVER_ERROR, G_RESOLVER_ERROR_INTERNAL, -1006, true},
        {"host not found", G_IO_ERROR, G_IO_ERROR_HOST_NOT_FOUND, -1003, true},
        {"no route (no network at all)", G_IO_ERROR, G_IO_ERROR_NETWORK_UNREACHABLE, -1009, true},
        {"host unreachable", G_IO_ERROR, G_IO_ERROR_HOST_UNREACHABLE, -1004, true},
        {"timed out", G_IO_ERROR, G_IO_ERROR_TIMED_OUT, -1001, true},
        {"connection reset", G_IO_ERROR, G_IO_ERROR_CONNECTION_CLOSED, -1005, true},
        {"closed before the answer", G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT, -1005, true},
        {"not connected", G_IO_ERROR, G_IO_ERROR_NOT_CONNECTED, -1005, true},
        {"proxy failed", G_IO_ERROR, G_IO_ERROR_PROXY_FAILED, -1004, true},
        {"proxy refused our password", G_IO_ERROR, G_IO_ERROR_PROXY_AUTH_FAILED, -1004, true},
        {"proxy not allowed to go there", G_IO_ERROR, G_IO_ERROR_PROXY_NOT_ALLOWED, -1004, true},
        {"cancelled by GIO", G_IO_ERROR, G_IO_ERROR_CANCELLED, -999, false},
        {"cancelled by WebKit", WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED, -999, false},
        {"untrusted certificate", G_TLS_ERROR, G_TLS_ERROR_BAD_CERTIFICATE, -1200, false},
        {"closed during the TLS handshake", G_TLS_ERROR, G_TLS_ERROR_NOT_TLS, -1005, true},
        {"closed without TLS close-notify", G_TLS_ERROR, G_TLS_ERROR_EOF, -1005, true},
        {"no TLS version in common", G_TLS_ERROR, G_TLS_ERROR_HANDSHAKE, -1200, false},
        {"interrupted by a policy decision", WEBKIT_POLICY_ERROR,
         WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE, 0, false},
        {"generic GIO failure", G_IO_ERROR, G_IO_ERROR_FAILED, 0, false},
        {"proxy wants a password", G_IO_ERROR, G_IO_ERROR_PROXY_NEED_AUTH, 0, false},
        // GIO's refused number outside GIO's own domain (the resolver's not-found is GIO's generic 0 above).
        {"refused number in WebKit's domain", WEBKIT_NETWORK_ERROR, G_IO_ERROR_CONNECTION_REFUSED, 0, false},
        {"refused number in no domain", g_quark_from_static_string(""), G_IO_ERROR_CONNECTION_REFUSED, 0, false},
        {"refused number in GIO's name upper-cased", g_quark_from_static_string("G-IO-ERROR-QUARK"),
         G_IO_ERROR_CONNECTION_REFUSED, 0, false},
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

// A loopback server that treats each connection as told, on its own thread.
class Loopback {
public:
    enum class Does { close, reset, hang, refuse }; // refuse: bound but never listening
    explicit Loopback(Does does) : does_(does) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
        if (does != Does::refuse) listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~Loopback() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    int port() const { return port_; }

private:
    void serve() {
        for (int client; (client = accept(listener_, nullptr, nullptr)) >= 0;) {
            const timeval patience{10, 0};
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
            char request[4096];
            // The request, or the TLS client hello: then the server goes quiet or goes away.
            [[maybe_unused]] auto got = recv(client, request, sizeof request, 0);
            if (does_ == Does::hang) {
                while (recv(client, request, sizeof request, 0) > 0) {}
            } else if (does_ == Does::reset) {
                const linger abort{1, 0};
                setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            close(client);
        }
    }
    Does does_;
    int listener_;
    int port_ = 0;
    std::thread thread_;
};

// The engine's network stack (libsoup over GIO and its TLS backend) against servers that fail the way
// real ones do; whatever it reports for them must reach the offline rule as "no connection".
TEST(ErrorTranslation, ServersThatCloseResetHangOrRefuseAreOffline) {
    Loopback closes(Loopback::Does::close), resets(Loopback::Does::reset), hangs(Loopback::Does::hang),
        refuses(Loopback::Does::refuse);
    const auto at = [](const char* scheme, int port) {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(port) + "/farm";
    };
    const std::pair<const char*, std::string> cases[] = {
        {"closes before answering", at("http", closes.port())},
        {"closes during the TLS handshake", at("https", closes.port())},
        {"resets before answering", at("http", resets.port())},
        {"resets during the TLS handshake", at("https", resets.port())},
        {"never answers", at("http", hangs.port())},
        {"never finishes the TLS handshake", at("https", hangs.port())},
        {"refuses", at("https", refuses.port())},
        {"has a name that does not resolve", "https://corvane-test.invalid/farm"},
        {"is on a network with no route (or none that answers)", "https://192.0.2.1/farm"},
    };
    // The app's own time-out stands in for the session's here.
    SoupSession* session = soup_session_new_with_options("timeout", 2, "idle-timeout", 2, nullptr);
    for (const auto& [what, uri] : cases) {
        SoupMessage* message = soup_message_new("GET", uri.c_str());
        GError* error = nullptr;
        GBytes* body = soup_session_send_and_read(session, message, nullptr, &error);
        ASSERT_NE(error, nullptr) << what;
        const char* domain = g_quark_to_string(error->domain);
        SCOPED_TRACE(std::string(what) + ": " + domain + " " + std::to_string(error->code) + " " + error->message);
        const auto out = translateLoadError(domain, error->code);
        EXPECT_TRUE(core::Offline::isNoConnection(out.domain, out.code));
        g_error_free(error);
        if (body) g_bytes_unref(body);
        g_object_unref(message);
    }
    g_object_unref(session);
}

} // namespace
} // namespace corvane::gtk
