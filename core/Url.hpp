#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <boost/url/url.hpp>

namespace corvane::core {

// A parsed URL reference (RFC 3986). Immutable; every rule that looks at a URL goes through it.
// The web engine hands over URLs as the WHATWG URL Standard writes them, which leaves some characters
// raw that RFC 3986 does not allow ("?filter[a]=1|2", "?q=100%"); they are read as their escapes, which
// mean the same. Hosts are read as the engine reads them. Nothing here throws.
class Url {
public:
    // Fails on anything that is not a URL reference ("not a url", ports above 65535) and on a URL whose
    // host the engine would refuse.
    static std::optional<Url> parse(std::string_view text);
    // RFC 3986 resolution of `reference` against this URL; the result always parses again as itself.
    std::optional<Url> resolve(std::string_view reference) const;

    bool hasScheme() const { return url_.has_scheme(); }
    std::string scheme() const;      // as written; empty when absent
    std::string schemeLower() const; // lower-cased; empty when absent
    bool hasHost() const { return url_.has_authority(); }
    // The host as the engine uses it: for http(s), ws(s), ftp and file percent-decoded, IDNA-mapped to
    // ASCII and lower-cased (IPv4 written in dotted decimal); for other schemes as written.
    const std::string& host() const { return host_; }
    std::string hostLower() const;
    // Any user information at all (even "@host") counts: callers refuse it.
    bool hasUserInfo() const { return url_.has_userinfo(); }
    std::optional<std::uint16_t> port() const { return port_; }
    // Percent-decoded path without query and fragment; a trailing "/" is dropped unless the path is "/".
    std::string path() const;
    std::string decodedPath() const; // percent-decoded, trailing "/" kept
    std::string encodedPath() const; // as written
    bool hasQuery() const { return url_.has_query(); }
    std::string query() const; // percent-encoded, without "?"
    // First query item named `name`: absent when missing; inner optional empty when it has no "=".
    std::optional<std::optional<std::string>> queryItem(std::string_view name) const;
    std::string fragment() const;
    std::string_view text() const { return url_.buffer(); } // as given, raw characters escaped

    friend bool operator==(const Url& a, const Url& b) { return a.text() == b.text(); }

private:
    static std::optional<Url> fromView(const boost::urls::url_view& view);
    Url(boost::urls::url url, std::optional<std::uint16_t> port, std::string host)
        : url_(std::move(url)), port_(port), host_(std::move(host)) {}
    boost::urls::url url_;
    std::optional<std::uint16_t> port_;
    std::string host_;
};

} // namespace corvane::core
