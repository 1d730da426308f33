// Sign-in returns through the app's own URL scheme.
#include "AppDelegate.hpp"

#include "Bridge.hpp"

namespace corvane::shell {

using namespace std::chrono_literals;

void AppDelegate::openURLs(const std::vector<std::string>& urls) {
    for (const auto& text : urls) {
        auto url = core::Url::parse(text);
        if (!url || !core::Bridge::isAuthCallback(*url)) continue;
        if (window_) window_->present();
        ports_.desktop.activate();
        if (authListening_ && web_) deliverAuth(*url);
        else pendingAuth_ = PendingAuth{*url, ports_.clock.now()};
    }
}

void AppDelegate::deliverAuth(const core::Url& url) {
    if (!web_) return;
    if (auto script = core::Bridge::authScript(url)) web_->evaluate(*script, [] {});
}

void AppDelegate::deliverPendingAuth() {
    if (!pendingAuth_) return;
    const PendingAuth pending = std::move(*pendingAuth_);
    pendingAuth_.reset();
    if (ports_.clock.now() - pending.at < 300s) deliverAuth(pending.url);
}

} // namespace corvane::shell
