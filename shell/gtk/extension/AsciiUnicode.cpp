// The web process extension's answers for text that is not all ASCII, without ICU's library. The engine
// hands the extension URLs whose hosts it has already made ASCII, so refusing any other host only ever
// reads an address as not the app's.
#include "Unicode.hpp"

namespace corvane::core::unicode {

std::size_t graphemeCount(std::string_view utf8) { return utf8.size(); } // an upper bound

bool hasWhiteSpaceOrBreak(std::string_view) { return true; } // never passed on

std::string mapCase(std::string_view utf8, bool toUpper) {
    std::string out(utf8);
    for (char& c : out) {
        if (toUpper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!toUpper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

std::optional<std::string> domainToAscii(const std::string& domain) {
    for (unsigned char c : domain)
        if (c >= 0x80) return std::nullopt;
    // For ASCII the mapping only folds case; an ill-formed "xn--" label cannot match an origin the core read.
    return mapCase(domain, false);
}

} // namespace corvane::core::unicode
