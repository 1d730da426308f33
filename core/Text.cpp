#include "Text.hpp"

#include <algorithm>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace corvane::core::text {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// Building a break iterator costs far more than using one: keep one per thread.
icu::BreakIterator* characterIterator() {
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    return iterator.get();
}

std::string mapCase(std::string_view utf8, bool toUpper) {
    if (isAscii(utf8)) {
        std::string out(utf8);
        for (char& c : out) {
            if (toUpper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (!toUpper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return out;
    }
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    if (toUpper) u.toUpper(icu::Locale::getRoot());
    else u.toLower(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

} // namespace

std::size_t graphemeCount(std::string_view utf8) {
    if (isAscii(utf8)) {
        // In ASCII only CR LF joins two code points into one cluster.
        std::size_t count = utf8.size();
        for (std::size_t i = 1; i < utf8.size(); ++i)
            if (utf8[i - 1] == '\r' && utf8[i] == '\n') --count;
        return count;
    }
    icu::BreakIterator* it = characterIterator();
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (!it || U_FAILURE(status)) {
        utext_close(ut);
        return utf8.size(); // an upper bound: never lets a long text through
    }
    it->setText(ut, status);
    std::size_t count = 0;
    if (U_SUCCESS(status))
        for (int32_t pos = it->next(); pos != icu::BreakIterator::DONE; pos = it->next()) ++count;
    else count = utf8.size();
    // Detach the iterator from the text before it is closed.
    UErrorCode ignored = U_ZERO_ERROR;
    UText* empty = utext_openUTF8(nullptr, "", 0, &ignored);
    it->setText(empty, ignored);
    utext_close(ut);
    utext_close(empty);
    return count;
}

bool graphemesAtMost(std::string_view utf8, std::size_t max) {
    // A cluster is at least one byte.
    return utf8.size() <= max || graphemeCount(utf8) <= max;
}

bool hasWhiteSpaceOrBreak(std::string_view utf8) {
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0) return true;
        if (u_hasBinaryProperty(c, UCHAR_WHITE_SPACE) || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 ||
            c == 0x2029)
            return true;
    }
    return false;
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
