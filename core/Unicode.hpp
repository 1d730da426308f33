#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The parts of the text and URL rules that need ICU's library (its data, break rules and IDNA mapping),
// for text that is not all ASCII. The app links Unicode.cpp. The web process extension links its own,
// ASCII-only answers: Debian's static ICU is not position-independent, and a shared one has a name that
// changes with every release.
namespace corvane::core::unicode {

// Grapheme clusters in non-ASCII UTF-8.
std::size_t graphemeCount(std::string_view utf8);
// Whether non-ASCII UTF-8 holds White_Space or a line break; invalid UTF-8 answers true.
bool hasWhiteSpaceOrBreak(std::string_view utf8);
// Full case mapping (root locale) of non-ASCII UTF-8.
std::string mapCase(std::string_view utf8, bool toUpper);
// UTS #46 as browsers apply it: non-transitional, hyphens and DNS lengths not checked. None when refused.
std::optional<std::string> domainToAscii(const std::string& domain);

} // namespace corvane::core::unicode
