#include "Url.hpp"

#include "Text.hpp"

#include <boost/url/parse.hpp>
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

} // namespace

std::optional<Url> Url::parse(std::string_view text) {
    auto parsed = boost::urls::parse_uri_reference(text);
    if (!parsed) return std::nullopt;
    const long port = readPort(*parsed);
    if (port == kBadPort) return std::nullopt;
    return Url(boost::urls::url(*parsed), toPort(port));
}

std::optional<Url> Url::resolve(std::string_view reference) const {
    auto ref = boost::urls::parse_uri_reference(reference);
    if (!ref || !url_.has_scheme()) return std::nullopt;
    boost::urls::url out;
    if (!boost::urls::resolve(url_, *ref, out)) return std::nullopt;
    const long port = readPort(out);
    if (port == kBadPort) return std::nullopt;
    return Url(std::move(out), toPort(port));
}

std::string Url::scheme() const { return std::string(url_.scheme()); }
std::string Url::schemeLower() const { return text::lower(url_.scheme()); }
std::string Url::host() const { return url_.host(); }
std::string Url::hostLower() const { return text::lower(url_.host()); }

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
    // "+" stays a plus sign: query items are not form-encoded here.
    for (auto param : boost::urls::url_view(url_).params(boost::urls::encoding_opts(false, false, false))) {
        if (param.key != name) continue;
        if (!param.has_value) return std::optional<std::string>{};
        return std::optional<std::string>{param.value};
    }
    return std::nullopt;
}

} // namespace corvane::core
