// Quitting: the page hears "pagehide", then the app ends 0.3 s later or 1.5 s after the request.
#include "AppDelegate.hpp"
#include "SettingsKeys.hpp"

#include "Notice.hpp"
#include "Offline.hpp"

namespace corvane::shell {

using namespace std::chrono_literals;

TerminateReply AppDelegate::applicationShouldTerminate() {
    if (quitting_ || !web_ || !web_->currentURL() || offlineShown_) return TerminateReply::now;
    quitting_ = true;
    auto done = std::make_shared<bool>(false);
    std::weak_ptr<AppDelegate*> weak = self_;
    auto finish = [weak, done] {
        auto self = weak.lock();
        if (!self || *done) return;
        *done = true;
        (*self)->ports_.desktop.replyToTerminate();
    };
    web_->evaluate(std::string(core::Offline::quitScript), [this, weak, finish] {
        if (weak.lock()) ports_.clock.schedule(300ms, finish);
    });
    ports_.clock.schedule(1500ms, finish);
    return TerminateReply::later;
}

void AppDelegate::applicationWillTerminate() {
    if (web_) {
        if (auto current = web_->currentURL()) {
            auto url = core::Url::parse(*current);
            if (url && origins_.contains(*url)) {
                const std::string path = url->path();
                if (path != "/" && path != "/welcome" && path != "/signin") {
                    // The stored text keeps the URL's own escapes, so a non-ASCII path still resolves at the
                    // next launch. The gate checks both the decoded location and the text the next launch reads
                    // (escapes make it longer); one that would not pass leaves the previous value in place.
                    std::string location = path;
                    if (url->hasQuery()) location.append("?").append(url->query());
                    std::string stored = url->encodedPath();
                    if (stored.size() > 1 && stored.back() == '/') stored.pop_back();
                    if (url->hasQuery()) stored.append("?").append(url->query());
                    if (core::Notice::isAppPath(location) && core::Notice::isAppPath(stored))
                        ports_.settings.setString(keys::lastPath, stored);
                }
            }
        }
    }
    if (window_) ports_.settings.setBoolean(keys::wasFullScreen, window_->isFullScreen());
}

} // namespace corvane::shell
