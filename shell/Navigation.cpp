// The navigation host: every navigation, response and new-window request goes through the policy.
#include "AppDelegate.hpp"

#include "Bridge.hpp"
#include "NavigationPolicy.hpp"
#include "Notice.hpp"
#include "Offline.hpp"

namespace corvane::shell {

using core::NavigationDecision;

namespace {

bool opensFromType(NavigationType type) {
    return type == NavigationType::linkActivated || type == NavigationType::other;
}

} // namespace

void AppDelegate::navigate(const std::string& path) {
    if (!core::Notice::isAppPath(path) || !web_) return;
    if (navListening_) {
        if (auto script = core::Bridge::navigateScript(path)) {
            web_->evaluate(*script, [] {});
            return;
        }
    }
    core::Url base = startURL_;
    if (auto current = web_->currentURL())
        if (auto url = core::Url::parse(*current); url && origins_.contains(*url)) base = *url;
    if (auto target = base.resolve(path)) web_->load(*target);
}

void AppDelegate::decidePolicyForNavigationAction(const NavigationAction& action, PolicyHandler answer) {
    if (action.shouldDownload) return answer(PolicyAnswer::download);
    std::optional<core::Url> url = action.url ? core::Url::parse(*action.url) : std::nullopt;
    if (!url) return answer(PolicyAnswer::cancel);

    NavigationDecision decision;
    if (action.frame == TargetFrame::unknown) {
        const auto asMain = core::NavigationPolicy::decide(*url, true, origins_);
        const auto asSub = core::NavigationPolicy::decide(*url, false, origins_);
        if (asMain != asSub) {
            const std::string scheme = url->schemeLower();
            if (scheme == "http" || scheme == "https") {
                // The engine names no frame here: settled once the response, the failure or the web
                // process says which it was.
                unsettled_.remember(*url, action.type);
                return answer(PolicyAnswer::allow);
            }
            if (asMain == NavigationDecision::external) {
                // mailto: and the like never load in a frame. Only what the user did is handed on, so a
                // frame cannot open them by script.
                answer(PolicyAnswer::cancel);
                if (opensFromType(action.type) && action.userGesture) openExternally(*url);
                return;
            }
            // about:, blob:, data: are for frames; a main frame that commits one is sent back.
            return answer(PolicyAnswer::allow);
        }
        decision = asMain;
    } else {
        decision = core::NavigationPolicy::decide(*url, action.frame == TargetFrame::main, origins_);
    }

    switch (decision) {
        case NavigationDecision::allow:
            return answer(PolicyAnswer::allow);
        case NavigationDecision::external:
            answer(PolicyAnswer::cancel);
            if (opensFromType(action.type)) openExternally(*url);
            return;
        case NavigationDecision::deny:
            return answer(PolicyAnswer::cancel);
    }
}

void AppDelegate::decidePolicyForNavigationResponse(const NavigationResponse& response, PolicyHandler answer) {
    std::optional<core::Url> url = response.url ? core::Url::parse(*response.url) : std::nullopt;
    if (auto type = url ? unsettled_.settle(*url) : std::nullopt) {
        const auto decision = core::NavigationPolicy::decide(*url, response.mainFrame, origins_);
        if (decision != NavigationDecision::allow) {
            answer(PolicyAnswer::cancel);
            if (decision == NavigationDecision::external && opensFromType(*type)) openExternally(*url);
            return;
        }
    }
    // An export is a file the user asked to keep, whatever the engine could make of its type; shown, it
    // would take over the window with no way back.
    if (response.contentDisposition && core::NavigationPolicy::isAttachment(*response.contentDisposition))
        return answer(PolicyAnswer::download);
    answer(response.canShowMimeType ? PolicyAnswer::allow : PolicyAnswer::download);
}

void AppDelegate::createWebViewFor(const NavigationAction& action) {
    std::optional<core::Url> url = action.url ? core::Url::parse(*action.url) : std::nullopt;
    if (!url || !web_) return;
    switch (core::NavigationPolicy::decideNewWindow(*url, origins_)) {
        case NavigationDecision::allow:
            web_->load(*url);
            return;
        case NavigationDecision::external:
            openExternally(*url);
            return;
        case NavigationDecision::deny:
            return;
    }
}

void AppDelegate::didFinishNavigation() {
    if (updates_) updates_->pageLoaded();
    if (shown_) return;
    shown_ = true;
    reveal();
}

void AppDelegate::mainFrameRequestStopped(const std::string& text) {
    auto url = core::Url::parse(text);
    if (!url) return;
    const auto type = unsettled_.settle(*url);
    if (!type) return;
    // Now known to be for the main frame: what the action stage would have done.
    if (core::NavigationPolicy::decide(*url, true, origins_) == NavigationDecision::external && opensFromType(*type))
        openExternally(*url);
}

void AppDelegate::didFailProvisionalNavigation(const LoadError& error) {
    cancelLoadTimer();
    std::optional<core::Url> url = error.failingURL ? core::Url::parse(*error.failingURL) : std::nullopt;
    if (url) {
        // A main-frame load of a page outside the app failed before its response could settle it: do
        // what the action stage would have done, had it known the frame. It is not the app being offline.
        if (auto type = unsettled_.settle(*url)) {
            const auto decision = core::NavigationPolicy::decide(*url, true, origins_);
            if (decision == NavigationDecision::external && opensFromType(*type)) openExternally(*url);
            if (decision != NavigationDecision::allow) return;
        }
        if (!origins_.contains(*url)) return;
    }
    if (!core::Offline::isNoConnection(error.domain, error.code)) return;
    if (!url && web_)
        if (auto current = web_->currentURL()) url = core::Url::parse(*current);
    showOffline(url);
}

void AppDelegate::showOffline(const std::optional<core::Url>& url) {
    if (url) failedURL_ = url;
    if (offlineShown_ || !window_) return;
    offlineShown_ = true;
    window_->showOffline();
}

void AppDelegate::didCommitNavigation(const std::optional<std::string>& committedURL) {
    cancelLoadTimer();
    authListening_ = false;
    navListening_ = false;
    if (offlineShown_ && window_) {
        offlineShown_ = false;
        window_->removeOffline();
        if (web_) web_->focus();
    }
    // A main frame that got past the action stage onto a refused URL (about:blank has no response to
    // stop it at) goes back to the app page it came from. Going back lets the engine show that page
    // as it was, from its back-forward cache, or at least with its form fields refilled; but only when
    // the entry behind is that page: a location.replace() took its place, leaving an older page there.
    std::optional<core::Url> url = committedURL ? core::Url::parse(*committedURL) : std::nullopt;
    if (url && core::NavigationPolicy::decide(*url, true, origins_) == NavigationDecision::allow) {
        lastTrustedURL_ = url;
    } else if (url && web_) {
        const auto back = web_->backURL();
        const auto backURL = back ? core::Url::parse(*back) : std::nullopt;
        const bool leftPageIsBehind = backURL && lastTrustedURL_ && backURL->text() == lastTrustedURL_->text();
        if (!leftPageIsBehind || !web_->goBack()) web_->load(lastTrustedURL_.value_or(startURL_));
    }
}

void AppDelegate::webContentProcessDidTerminate() {
    authListening_ = false;
    if (web_) web_->reload();
}

} // namespace corvane::shell
