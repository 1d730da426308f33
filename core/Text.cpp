#include "Text.hpp"

#include "Unicode.hpp"

#include <algorithm>
#include <cstdint>

// Header macros only: this file is also built into the web process extension, which links no ICU.
#include <unicode/utf8.h>

namespace corvane::core::text {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

std::string mapCase(std::string_view utf8, bool toUpper) {
    if (!isAscii(utf8)) return unicode::mapCase(utf8, toUpper);
    std::string out(utf8);
    for (char& c : out) {
        if (toUpper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!toUpper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace

std::size_t graphemeCount(std::string_view utf8) {
    if (!isAscii(utf8)) return unicode::graphemeCount(utf8);
    // In ASCII only CR LF joins two code points into one cluster.
    std::size_t count = utf8.size();
    for (std::size_t i = 1; i < utf8.size(); ++i)
        if (utf8[i - 1] == '\r' && utf8[i] == '\n') --count;
    return count;
}

bool graphemesAtMost(std::string_view utf8, std::size_t max) {
    // A cluster is at least one byte.
    return utf8.size() <= max || graphemeCount(utf8) <= max;
}

bool hasWhiteSpaceOrBreak(std::string_view utf8) {
    if (!isAscii(utf8)) return unicode::hasWhiteSpaceOrBreak(utf8);
    // ASCII's White_Space is U+0009-000D and the space.
    return std::any_of(utf8.begin(), utf8.end(), [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
}

bool isUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int64_t>(bytes.size());
    for (int64_t i = 0; i < length;) {
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        // U8_NEXT takes an int32_t index: step through long texts in windows.
        const int32_t window = static_cast<int32_t>(std::min<int64_t>(length - i, 1 << 30));
        int32_t j = 0;
        UChar32 c;
        U8_NEXT(s + i, j, window, c);
        if (c < 0) return false;
        i += j;
    }
    return true;
}

std::string lower(std::string_view utf8) { return mapCase(utf8, false); }
std::string upper(std::string_view utf8) { return mapCase(utf8, true); }

} // namespace corvane::core::text
