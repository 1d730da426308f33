#include "Install.hpp"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <glib.h>
#include <unistd.h>

#include "Version.hpp"

namespace corvane::update {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxVersionLength = 64;

bool writeExecutable(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!(out << text) || !out.flush()) return false;
    }
    std::error_code error;
    fs::permissions(temporary, fs::perms(0755), error);
    if (!error) fs::rename(temporary, path, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

} // namespace

std::string stagingPath(const std::string& bundle, const std::string& what) {
    const fs::path b(bundle);
    std::string name = b.filename().string();
    name.insert(0, 1, '.');
    name.append("-update-").append(what);
    return (b.parent_path() / name).string();
}

std::optional<std::string> bundleVersion(const std::string& bundle) {
    const fs::path path = fs::path(bundle) / "share/corvane/version";
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(path, error))) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string text(kMaxVersionLength + 2, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.ends_with('\n')) text.pop_back();
    if (text.empty() || text.size() > kMaxVersionLength) return std::nullopt;
    for (char c : text)
        if (!g_ascii_isalnum(c) && c != '.' && c != '-' && c != '+' && c != '~' && c != '_') return std::nullopt;
    return text;
}

Outcome<> checkVersion(const std::optional<std::string>& carried, std::string_view advertised,
                       std::string_view running) {
    if (!carried) return Outcome<>::refused("The update does not say which version it is.");
    if (*carried != advertised)
        return Outcome<>::refused("The update is version " + *carried + ", not the " + std::string(advertised) +
                                  " the feed offers.");
    if (core::Version::compare(*carried, running) <= 0)
        return Outcome<>::refused("The update is version " + *carried + ", which is not newer than this one.");
    return done();
}

const char* const kTrialLauncher = R"(#!/bin/sh
# Corvane was just updated: this starts the new copy until it has shown its first page once (it then
# takes this file's place). If it cannot get that far -- it does not load, crashes or exits with an
# error -- the copy it replaced is put back and started instead.
self=$(readlink -f -- "$0") || exit 127
bin=${self%/*}
bundle=${bin%/*}
kept="${bundle%/*}/.${bundle##*/}-update-previous"
withdrawn="${bundle%/*}/.${bundle##*/}-update-withdrawn"
"$bin/corvane.trial" "$@"
status=$?
if [ "$status" -eq 0 ] || [ ! -e "$bin/corvane.trial" ] || [ ! -d "$kept" ]; then
  exit "$status"
fi
rm -rf -- "$withdrawn"
mv -- "$bundle" "$withdrawn" || exit "$status"
if ! mv -- "$kept" "$bundle"; then
  mv -- "$withdrawn" "$bundle"
  exit "$status"
fi
exec "$bundle/bin/corvane" "$@"
)";

Outcome<> installOnTrial(const std::string& bundle, const std::string& staged, std::string_view advertised,
                         std::string_view running) {
    // Checked again here: the staged folder sat on disk, writable, since it was unpacked.
    if (auto version = checkVersion(bundleVersion(staged), advertised, running); !version) return version;
    const fs::path bin = fs::path(staged) / "bin";
    std::error_code error;
    fs::rename(bin / "corvane", bin / "corvane.trial", error);
    if (error || !writeExecutable(bin / "corvane", kTrialLauncher))
        return Outcome<>::refused("The new copy could not be prepared.");
    const std::string previous = stagingPath(bundle, "previous");
    fs::remove_all(previous, error);
    if (std::rename(bundle.c_str(), previous.c_str()) != 0)
        return Outcome<>::refused("The running copy could not be moved aside.");
    if (std::rename(staged.c_str(), bundle.c_str()) != 0) {
        std::rename(previous.c_str(), bundle.c_str());
        return Outcome<>::refused("The new copy could not be put in place.");
    }
    return done();
}

std::string proveStart(const std::string& bundle) {
    const fs::path bin = fs::path(bundle) / "bin";
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(bin / "corvane.trial", error))) return "";
    fs::rename(bin / "corvane.trial", bin / "corvane", error);
    if (error) return "";
    return stagingPath(bundle, "previous");
}

std::optional<std::string> takeWithdrawn(const std::string& bundle) {
    const std::string withdrawn = stagingPath(bundle, "withdrawn");
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(withdrawn, error))) return std::nullopt;
    auto version = bundleVersion(withdrawn);
    fs::remove_all(withdrawn, error);
    return version.value_or("");
}

} // namespace corvane::update
