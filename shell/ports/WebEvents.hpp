#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace corvane::shell {

enum class NavigationType { linkActivated, formSubmitted, backForward, reload, formResubmitted, other };
// This engine does not say which frame a navigation action is for.
enum class TargetFrame { main, sub, unknown };
enum class PolicyAnswer { allow, cancel, download };
// Called exactly once.
using PolicyHandler = std::function<void(PolicyAnswer)>;

struct NavigationAction {
    std::optional<std::string> url;
    TargetFrame frame = TargetFrame::unknown;
    NavigationType type = NavigationType::other;
    bool shouldDownload = false;
    bool userGesture = false;
};

struct NavigationResponse {
    std::optional<std::string> url;
    bool mainFrame = false;
    bool canShowMimeType = true;
    std::optional<std::string> contentDisposition; // the header's value, when the response has one
};

// A failure before commit, translated into the (domain, code) pairs the offline rules know.
struct LoadError {
    std::string domain;
    long long code = 0;
    std::optional<std::string> failingURL;
};

// One post on the page's message channel, with who sent it.
struct ScriptMessage {
    nlohmann::json body;
    bool mainFrame = false;
    std::string origin;         // the posting realm's origin
    bool currentWindow = false; // false once the posting document was replaced
};

} // namespace corvane::shell
