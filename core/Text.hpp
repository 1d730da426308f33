#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Unicode text helpers over ICU. Strings are UTF-8.
namespace corvane::core::text {

// User-perceived characters (extended grapheme clusters). Invalid UTF-8 counts each bad byte once.
std::size_t graphemeCount(std::string_view utf8);
// graphemeCount(utf8) <= max, without counting when the byte length already settles it.
bool graphemesAtMost(std::string_view utf8, std::size_t max);
// Whether any code point is White_Space or a line break (U+000A-D, U+0085, U+2028, U+2029).
// Invalid UTF-8 answers true: such text is never safe to pass on.
bool hasWhiteSpaceOrBreak(std::string_view utf8);
// Whether the bytes are well-formed UTF-8 (no surrogates, no overlong forms).
bool isUtf8(std::string_view bytes);
// Full Unicode case mapping (root locale).
std::string lower(std::string_view utf8);
std::string upper(std::string_view utf8);

} // namespace corvane::core::text
