#pragma once

#include <string>
#include <string_view>

namespace corvane::gtk {

struct TranslatedError {
    std::string domain;
    long long code;
};

// A load error as GLib/libsoup/WebKit report it (quark name and code), in the (domain, code) pairs the
// offline rules know. Unknown errors keep their own domain, which no rule treats as offline.
TranslatedError translateLoadError(std::string_view glibDomain, int code);

} // namespace corvane::gtk
