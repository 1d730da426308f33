#include "Version.hpp"

#include <vector>

namespace corvane::core::Version {

namespace {

enum class Kind { number, text, separator };

Kind kindOf(unsigned char c) {
    if (c >= '0' && c <= '9') return Kind::number;
    // Bytes of non-ASCII characters count as letters.
    if (c < 0x80 && (c <= ' ' || c == 0x7f || (c >= '!' && c <= '/') || (c >= ':' && c <= '@') ||
                     (c >= '[' && c <= '`') || (c >= '{' && c <= '~')))
        return Kind::separator;
    return Kind::text;
}

struct Part {
    Kind kind;
    std::string_view text;
};

// Runs of one kind; every separator is a part of its own.
std::vector<Part> split(std::string_view v) {
    std::vector<Part> parts;
    std::size_t start = 0;
    for (std::size_t i = 1; i <= v.size(); ++i) {
        const Kind k = kindOf(static_cast<unsigned char>(v[start]));
        if (i == v.size() || k == Kind::separator || kindOf(static_cast<unsigned char>(v[i])) != k) {
            parts.push_back({k, v.substr(start, i - start)});
            start = i;
        }
    }
    return parts;
}

// Digit strings of any length, without overflow.
std::strong_ordering compareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
    if (auto c = a.size() <=> b.size(); c != 0) return c;
    return a.compare(b) <=> 0;
}

} // namespace

std::strong_ordering compare(std::string_view a, std::string_view b) {
    const auto pa = split(a), pb = split(b);
    const std::size_t n = std::min(pa.size(), pb.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Kind ka = pa[i].kind, kb = pb[i].kind;
        if (ka == kb) {
            if (ka == Kind::number) {
                if (auto c = compareNumbers(pa[i].text, pb[i].text); c != 0) return c;
            } else if (ka == Kind::text) {
                if (auto c = pa[i].text.compare(pb[i].text) <=> 0; c != 0) return c;
            }
            continue;
        }
        // Letters lose to anything else here; between a number and a separator the number wins.
        if (kb == Kind::text) return std::strong_ordering::greater;
        if (ka == Kind::text) return std::strong_ordering::less;
        return ka == Kind::number ? std::strong_ordering::greater : std::strong_ordering::less;
    }
    if (pa.size() == pb.size()) return std::strong_ordering::equal;
    // The longer one is newer unless what it adds begins with letters (a pre-release: "1.0b" < "1.0").
    const bool aLonger = pa.size() > pb.size();
    const bool addsText = (aLonger ? pa[n] : pb[n]).kind == Kind::text;
    return (aLonger != addsText) ? std::strong_ordering::greater : std::strong_ordering::less;
}

} // namespace corvane::core::Version
