#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::core::Notice {

struct Action {
    std::string id;
    std::string title;
};

// The one notification category with buttons; also the query item that marks a follow-up URL.
inline constexpr std::string_view checkinCategory = "follow_up";
const std::vector<Action>& actions();

// The gate for every path that is stored, restored or opened inside the app.
bool isAppPath(std::string_view path);
std::optional<std::string> followUpId(const std::optional<std::string>& url);
// The in-app path a click on a notice (or one of its buttons) leads to; never empty.
std::string route(const std::optional<std::string>& url, const std::optional<std::string>& action);

} // namespace corvane::core::Notice
