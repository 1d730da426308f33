#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Outcome.hpp"

namespace corvane::update {

// Where downloads and unpacked updates wait, and where a replaced bundle is kept: hidden, beside the
// bundle. `what`: "download", "staged", "previous" (the copy an update replaced, kept until the new one
// has shown its first page), "withdrawn" (a new copy that could not start, set aside by the launcher).
std::string stagingPath(const std::string& bundle, const std::string& what);

// The version a bundle carries in share/corvane/version (written when it was built): none when the
// file is missing, longer than a version line or not one.
std::optional<std::string> bundleVersion(const std::string& bundle);

// Why an unpacked bundle carrying `carried` may not replace the running copy: the signed archive's own
// version has to be the one the feed advertised, and above the running one.
Outcome<> checkVersion(const std::optional<std::string>& carried, std::string_view advertised,
                       std::string_view running);

// Puts the unpacked bundle `staged` in the place of `bundle` by renames on one file system, on trial:
// its program moves to bin/corvane.trial behind a launcher at bin/corvane, and the old bundle is kept
// beside it (stagingPath "previous"). Nothing changes when the staged copy's version is refused or a
// rename fails.
Outcome<> installOnTrial(const std::string& bundle, const std::string& staged, std::string_view advertised,
                         std::string_view running);

// The launcher a bundle on trial starts from: it runs bin/corvane.trial and, when that ends with an
// error before it has proven itself, sets the bundle aside as "withdrawn", puts the kept copy back and
// starts it.
extern const char* const kTrialLauncher;

// Called by a copy that has shown its first page: a bundle on trial puts its program back in place of
// the launcher. Returns the kept copy to delete (empty when there was no trial).
std::string proveStart(const std::string& bundle);

// Called at start: the version of a copy the launcher withdrew (its folder is deleted, so this is
// answered once), or none.
std::optional<std::string> takeWithdrawn(const std::string& bundle);

} // namespace corvane::update
