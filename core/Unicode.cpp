#include "Unicode.hpp"

#include <cstdint>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/uidna.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace corvane::core::unicode {

namespace {

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

} // namespace

std::size_t graphemeCount(std::string_view utf8) {
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

std::string mapCase(std::string_view utf8, bool toUpper) {
    auto u = icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
    if (toUpper) u.toUpper(icu::Locale::getRoot());
    else u.toLower(icu::Locale::getRoot());
    std::string out;
    u.toUTF8String(out);
    return out;
}

std::optional<std::string> domainToAscii(const std::string& domain) {
    static const UIDNA* idna = [] {
        UErrorCode status = U_ZERO_ERROR;
        UIDNA* created = uidna_openUTS46(
            UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII | UIDNA_NONTRANSITIONAL_TO_UNICODE,
            &status);
        return U_SUCCESS(status) ? created : nullptr;
    }();
    if (!idna || domain.size() > 0x7FFFFFF) return std::nullopt;
    constexpr std::uint32_t ignored = UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG |
                                      UIDNA_ERROR_DOMAIN_NAME_TOO_LONG | UIDNA_ERROR_LEADING_HYPHEN |
                                      UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;
    std::string out(domain.size() * 4 + 64, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        UIDNAInfo info = UIDNA_INFO_INITIALIZER;
        const int32_t length = uidna_nameToASCII_UTF8(idna, domain.data(), static_cast<int32_t>(domain.size()),
                                                      out.data(), static_cast<int32_t>(out.size()), &info, &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<std::size_t>(length) + 1, '\0');
            continue;
        }
        if (U_FAILURE(status) || (info.errors & ~ignored) != 0) return std::nullopt;
        out.resize(static_cast<std::size_t>(length));
        return out;
    }
    return std::nullopt;
}

} // namespace corvane::core::unicode
