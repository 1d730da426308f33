#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Outcome.hpp"

typedef struct _SoupSession SoupSession;
typedef struct _GTlsCertificate GTlsCertificate;

namespace corvane::update {

// HTTPS GETs with libsoup on the main loop, streamed and capped. A redirect to anything but https ends
// the transfer before it is followed.
class Fetcher {
public:
    // `trustedPem`, when given, is accepted as the certificate of `trustedHost` only (development).
    Fetcher(const std::string& userAgent, const std::string& trustedPem = "", const std::string& trustedHost = "");
    ~Fetcher();
    Fetcher(const Fetcher&) = delete;
    Fetcher& operator=(const Fetcher&) = delete;

    struct Request {
        std::string url;
        std::uint64_t limit = 0; // more bytes than this end the transfer
        bool exact = false;      // the body must be exactly `limit` bytes
        std::string file;        // written here (replaced); empty: kept in memory
        std::function<void(std::uint64_t received)> progress;
        // Called once: the body (empty when written to `file`), or the reason it failed.
        std::function<void(Outcome<std::string> body)> done;
    };
    void fetch(Request request);
    // Ends every running transfer; each reports "cancelled".
    void cancelAll();

    static constexpr const char* cancelled = "cancelled";

private:
    struct Transfer;
    SoupSession* session_;
    GTlsCertificate* trusted_ = nullptr;
    std::string trustedHost_;
    std::shared_ptr<std::vector<Transfer*>> live_;
};

} // namespace corvane::update
