// Every main-frame load has a time-out: the engine has none of its own, and a server that accepts the
// connection and never answers would leave the window empty for good.
#include "AppDelegate.hpp"

#include "Offline.hpp"

namespace corvane::shell {

void AppDelegate::didStartProvisionalNavigation(const std::optional<std::string>& url) {
    cancelLoadTimer();
    std::weak_ptr<AppDelegate*> weak = self_;
    loadTimer_ = ports_.clock.schedule(loadTimeout_, [weak, url] {
        if (auto self = weak.lock()) (*self)->loadTimedOut(url);
    });
}

void AppDelegate::cancelLoadTimer() {
    if (loadTimer_) ports_.clock.cancel(loadTimer_);
    loadTimer_ = 0;
}

void AppDelegate::loadTimedOut(const std::optional<std::string>& url) {
    loadTimer_ = 0;
    if (web_) web_->stopLoading();
    // Stopping reports the load as cancelled, which no rule acts on; what happened was a time-out.
    didFailProvisionalNavigation(
        {std::string(core::Offline::urlErrorDomain), core::code(core::UrlError::timedOut), url});
}

} // namespace corvane::shell
