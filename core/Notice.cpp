#include "Notice.hpp"

#include "Text.hpp"
#include "Url.hpp"

namespace corvane::core::Notice {

namespace {

bool isFollowUpValue(std::string_view value) {
    if (value.empty() || value.size() > 64) return false;
    for (char c : value) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!ok) return false;
    }
    return true;
}

} // namespace

const std::vector<Action>& actions() {
    static const std::vector<Action> list{{"better", "Better"}, {"no_better", "No better"}};
    return list;
}

bool isAppPath(std::string_view path) {
    if (!path.starts_with('/') || path.starts_with("//")) return false;
    if (path.find('\\') != std::string_view::npos) return false;
    if (!text::graphemesAtMost(path, 512)) return false;
    // Checks every code point, not only the first of each cluster, and refuses invalid UTF-8.
    return !text::hasWhiteSpaceOrBreak(path);
}

std::optional<std::string> followUpId(const std::optional<std::string>& url) {
    if (!url) return std::nullopt;
    auto parsed = Url::parse(*url);
    if (!parsed || parsed->hasScheme() || parsed->hasHost()) return std::nullopt;
    // "/care/" is not the landing page: compare the path as written, trailing "/" included.
    if (parsed->decodedPath() != "/care") return std::nullopt;
    auto item = parsed->queryItem(checkinCategory);
    if (!item || !*item || !isFollowUpValue(**item)) return std::nullopt;
    return **item;
}

std::string route(const std::optional<std::string>& url, const std::optional<std::string>& action) {
    if (action && (*action == "better" || *action == "no_better")) {
        if (auto id = followUpId(url)) return "/care?follow_up=" + *id + "&answer=" + *action;
    }
    if (url && isAppPath(*url)) return *url;
    return "/care";
}

} // namespace corvane::core::Notice
