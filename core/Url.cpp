#include "Url.hpp"

#include "Text.hpp"
#include "Unicode.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include <boost/url/ipv6_address.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/pct_string_view.hpp>
#include <boost/url/url_view.hpp>

namespace corvane::core {

namespace {

constexpr long kNoPort = -1;
constexpr long kBadPort = -2;

// An empty port ("host:") counts as none; a port that does not fit 16 bits makes the URL invalid,
// as it does for the web engine.
long readPort(const boost::urls::url_view& url) {
    if (!url.has_port() || url.port().empty()) return kNoPort;
    long value = 0;
    for (char c : url.port()) {
        value = value * 10 + (c - '0');
        if (value > 65535) return kBadPort;
    }
    return value;
}

std::optional<std::uint16_t> toPort(long value) {
    if (value < 0) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool isSpecial(std::string_view scheme) {
    static constexpr std::array<std::string_view, 6> special{"http", "https", "ws", "wss", "ftp", "file"};
    for (auto s : special)
        if (scheme == s) return true;
    return false;
}

// The scheme of a reference as RFC 3986 reads it, lower-cased; empty when it has none.
std::string schemeOf(std::string_view text) {
    if (text.empty() || !isAlpha(text[0])) return {};
    std::size_t i = 1;
    while (i < text.size() &&
           (isAlpha(text[i]) || isDigit(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.'))
        ++i;
    if (i == text.size() || text[i] != ':') return {};
    return text::lower(text.substr(0, i));
}

// Copies `part`, escaping the characters in `raw` and, with `percentSigns`, every "%" not followed by two
// hex digits.
void escapeInto(std::string& out, std::string_view part, std::string_view raw, bool percentSigns = true) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < part.size(); ++i) {
        const char c = part[i];
        const bool barePercentSign =
            percentSigns && c == '%' && !(i + 2 < part.size() && isHex(part[i + 1]) && isHex(part[i + 2]));
        // A page writes non-ASCII raw ("/käse?q=café"); the engine sends it UTF-8 percent-encoded.
        const bool nonAscii = (static_cast<unsigned char>(c) & 0x80) != 0;
        if (barePercentSign || nonAscii || raw.find(c) != std::string_view::npos) {
            out += '%';
            out += hex[static_cast<unsigned char>(c) >> 4];
            out += hex[static_cast<unsigned char>(c) & 0xF];
        } else {
            out += c;
        }
    }
}

// WHATWG URLs keep non-ASCII characters, "[ ] | ^ { } `", "\" outside special paths, "#" inside the fragment and a bare "%" raw
// where RFC 3986 wants them escaped, and a host may hold "` { } \"". Written escaped they mean the same.
// A "\" in the authority, or in the path of a special or relative reference, where the engine reads it as
// "/", is left raw: such a text stays refused rather than read another way. Valid RFC 3986 references
// come out unchanged.
std::string toRfc3986(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    const std::string scheme = schemeOf(text);
    std::size_t at = scheme.empty() ? 0 : scheme.size() + 1;
    out.append(text.substr(0, at));
    if (text.substr(at).starts_with("//")) {
        const std::size_t end = std::min(text.find_first_of("/?#", at + 2), text.size());
        escapeInto(out, text.substr(at, end - at), "`{}\"", false);
        at = end;
    }
    const std::size_t queryAt = std::min(text.find_first_of("?#", at), text.size());
    const std::size_t fragmentAt = std::min(text.find('#', queryAt), text.size());
    const bool backslashIsText = !scheme.empty() && !isSpecial(scheme);
    escapeInto(out, text.substr(at, queryAt - at), backslashIsText ? "[]|^{}`\\" : "[]|^{}`");
    if (queryAt < fragmentAt) {
        out += '?';
        escapeInto(out, text.substr(queryAt + 1, fragmentAt - queryAt - 1), "[]|^{}`\\");
    }
    if (fragmentAt < text.size()) {
        out += '#';
        escapeInto(out, text.substr(fragmentAt + 1), "[]|^{}`\\#");
    }
    return out;
}

// Code points a domain may not hold after mapping.
bool isForbiddenDomainCodePoint(unsigned char c) {
    static constexpr std::string_view forbidden = " #%/:<>?@[\\]^|";
    return c <= 0x1F || c == 0x7F || forbidden.find(static_cast<char>(c)) != std::string_view::npos;
}

// Code points an opaque host (a scheme without special rules) may not hold.
bool isForbiddenHostCodePoint(unsigned char c) {
    static constexpr std::string_view forbidden = " #/:<>?@[\\]^|";
    return c == 0 || c == '\t' || c == '\n' || c == '\r' ||
           forbidden.find(static_cast<char>(c)) != std::string_view::npos;
}

std::vector<std::string_view> labels(std::string_view host) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        parts.push_back(host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
    return parts;
}

// A host whose last label is a number is an IPv4 address to the engine ("127.1", "0x7f.0.0.1").
bool endsInNumber(std::string_view host) {
    const std::string_view last = labels(host).back();
    if (!last.empty() && std::all_of(last.begin(), last.end(), isDigit)) return true;
    if (last.size() < 2 || last[0] != '0' || (last[1] != 'x' && last[1] != 'X')) return false;
    return std::all_of(last.begin() + 2, last.end(), isHex);
}

// One part of an IPv4 address: decimal, octal after "0", hex after "0x"; large values saturate.
std::optional<std::uint64_t> ipv4Number(std::string_view part) {
    if (part.empty()) return std::nullopt;
    unsigned radix = 10;
    if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
        radix = 16;
        part.remove_prefix(2);
    } else if (part.size() >= 2 && part[0] == '0') {
        radix = 8;
        part.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (char c : part) {
        unsigned digit = 0;
        if (isDigit(c)) digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
        else return std::nullopt;
        if (digit >= radix) return std::nullopt;
        value = std::min<std::uint64_t>(value * radix + digit, std::uint64_t{1} << 40);
    }
    return value;
}

std::optional<std::string> ipv4(std::string_view host) {
    const auto parts = labels(host);
    if (parts.size() > 4) return std::nullopt;
    std::uint64_t address = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        auto n = ipv4Number(parts[i]);
        if (!n) return std::nullopt;
        const bool last = i + 1 == parts.size();
        if (!last) {
            if (*n > 255) return std::nullopt;
            address = address * 256 + *n;
        } else {
            const unsigned shift = 8 * static_cast<unsigned>(5 - parts.size());
            if (*n >= (std::uint64_t{1} << shift)) return std::nullopt;
            address = (address << shift) + *n;
        }
    }
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

// The host the engine reads from the URL, or none when it would refuse the URL.
std::optional<std::string> readHost(const boost::urls::url_view& url) {
    if (!url.has_authority()) return std::string();
    switch (url.host_type()) {
        case boost::urls::host_type::ipv6: {
            auto address = boost::urls::parse_ipv6_address(url.encoded_host_address());
            if (!address) return std::nullopt;
            std::string bracketed = "["; // appended, not `"[" + std::string`: GCC 12 -O3 misreads that (-Wrestrict)
            return bracketed.append(address->to_string()).append("]");
        }
        case boost::urls::host_type::ipvfuture:
            return std::nullopt;
        default:
            break;
    }
    const std::string scheme = text::lower(url.scheme());
    if (!isSpecial(scheme)) {
        std::string host(url.encoded_host());
        for (unsigned char c : host)
            if (isForbiddenHostCodePoint(c)) return std::nullopt;
        // "//1.2.3.4.5/" takes a web page's scheme when resolved, which refuses it: so does the reference.
        if (scheme.empty() && !host.empty() && endsInNumber(host) && !ipv4(host)) return std::nullopt;
        return host;
    }
    const std::string decoded = url.host();
    if (decoded.empty()) return decoded;
    auto host = unicode::domainToAscii(decoded);
    if (!host || host->empty()) return std::nullopt;
    for (unsigned char c : *host)
        if (isForbiddenDomainCodePoint(c)) return std::nullopt;
    if (endsInNumber(*host)) return ipv4(*host);
    if (scheme == "file" && *host == "localhost") return std::string();
    return host;
}

// Boost.URL 1.81 stops a host at a leading IPv4 address ("127.0.0.1.evil.example"), where the engine (and
// Boost.URL 1.83) reads the whole name. Written with its first dot escaped, the host reads as a name on
// both, and decodes to the same text. None when `escaped` has no such host.
std::optional<std::string> withNameHost(const std::string& escaped) {
    const std::string scheme = schemeOf(escaped);
    if (!isSpecial(scheme) || escaped.compare(scheme.size() + 1, 2, "//") != 0) return std::nullopt;
    const std::size_t start = scheme.size() + 3;
    const std::size_t end = std::min(escaped.find_first_of("/?#", start), escaped.size());
    const std::size_t at = escaped.rfind('@', end);
    const std::size_t host = at == std::string::npos || at < start ? start : at + 1;
    if (host < end && escaped[host] == '[') return std::nullopt;
    const std::size_t dot = escaped.find('.', host);
    if (dot >= end) return std::nullopt;
    return escaped.substr(0, dot) + "%2E" + escaped.substr(dot + 1);
}

bool misread(const boost::urls::url_view& view) {
    return view.has_authority() && !view.encoded_path().empty() && view.encoded_path().front() != '/';
}

} // namespace

std::optional<Url> Url::fromView(const boost::urls::url_view& view) {
    // Boost.URL 1.81 ends an authority wherever its host or port grammar stops and takes the rest for the
    // path: "http://1.2.3.4.evil.example/" reads as host 1.2.3.4 with the path ".evil.example/", and
    // "http://h:80x/" as port 80. After an authority the path is empty or begins with "/"; anything else
    // was misread, and is refused.
    if (misread(view)) return std::nullopt;
    const long port = readPort(view);
    if (port == kBadPort) return std::nullopt;
    auto host = readHost(view);
    if (!host) return std::nullopt;
    return Url(boost::urls::url(view), toPort(port), std::move(*host));
}

std::optional<Url> Url::parse(std::string_view text) {
    // Neither the engine nor a page can write bytes that are not UTF-8.
    if (!text::isUtf8(text)) return std::nullopt;
    try {
        const std::string escaped = toRfc3986(text);
        auto parsed = boost::urls::parse_uri_reference(escaped);
        if (!parsed) return std::nullopt;
        if (misread(*parsed))
            if (auto named = withNameHost(escaped))
                if (auto again = boost::urls::parse_uri_reference(*named); again && !misread(*again))
                    return fromView(*again);
        return fromView(*parsed);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<Url> Url::resolve(std::string_view reference) const {
    try {
        if (!url_.has_scheme() || !text::isUtf8(reference)) return std::nullopt;
        const std::string escaped = toRfc3986(reference);
        auto ref = boost::urls::parse_uri_reference(escaped);
        if (!ref) return std::nullopt;
        boost::urls::url out;
        if (!boost::urls::resolve(url_, *ref, out)) return std::nullopt;
        // The result must read back as itself (a path that begins "//" without an authority would not).
        auto again = boost::urls::parse_uri_reference(out.buffer());
        if (!again || again->has_authority() != out.has_authority() || again->encoded_path() != out.encoded_path() ||
            again->has_query() != out.has_query() || again->has_fragment() != out.has_fragment())
            return std::nullopt;
        return fromView(*again);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string Url::scheme() const { return std::string(url_.scheme()); }
std::string Url::schemeLower() const { return text::lower(url_.scheme()); }
std::string Url::hostLower() const { return text::lower(host_); }

std::string Url::path() const {
    std::string p = url_.path();
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string Url::decodedPath() const { return url_.path(); }
std::string Url::encodedPath() const { return std::string(url_.encoded_path()); }

std::string Url::query() const { return std::string(url_.encoded_query()); }
std::string Url::fragment() const { return url_.fragment(); }

std::optional<std::optional<std::string>> Url::queryItem(std::string_view name) const {
    if (!url_.has_query()) return std::nullopt;
    // Boost.URL 1.81's query items do not stay inside their text: a URL whose empty query is followed by
    // "#" ("/care?#x") counts two items and reading the second runs past the end of the buffer, and
    // parse_query() of a query cut from a longer text reads on to a NUL. So the items are split here, and
    // the library only percent-decodes a text of known length. "+" stays a plus sign: not form-encoded.
    const std::string_view query = url_.encoded_query();
    auto decode = [](std::string_view part) {
        auto encoded = boost::urls::make_pct_string_view(part);
        return encoded ? encoded->decode() : std::string(part);
    };
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(query.find('&', start), query.size());
        const std::string_view item = query.substr(start, end - start);
        const std::size_t equals = item.find('=');
        if (decode(item.substr(0, equals)) == name) {
            if (equals == std::string_view::npos) return std::optional<std::string>{};
            return std::optional<std::string>{decode(item.substr(equals + 1))};
        }
        if (end == query.size()) return std::nullopt;
        start = end + 1;
    }
}

} // namespace corvane::core
