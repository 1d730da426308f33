#pragma once

#include <glib.h>

#include <optional>

#include "AppOrigins.hpp"

namespace corvane::gtk::extension {

// The app's origins as the UI process hands them to the web process, checked with the core's own rule:
// the guard here and the shell's navigation policy never disagree about an address.
class TrustedOrigins {
public:
    // From the extension's start-up data (an a{sv} with wire::kTrustedOriginsKey); none without a list.
    static std::optional<TrustedOrigins> fromStartupData(GVariant* data);

    // Whether `uri`, as the engine hands it over, is on one of the app's origins. Null or unparsable: no.
    bool trusts(const char* uri) const;
    // An empty list names no origin to hold posts to.
    bool restricts() const { return restricts_; }

private:
    TrustedOrigins(core::AppOrigins origins, bool restricts) : origins_(std::move(origins)), restricts_(restricts) {}

    core::AppOrigins origins_;
    // Of the list as sent: entries the core cannot read still restrict.
    bool restricts_;
};

} // namespace corvane::gtk::extension
