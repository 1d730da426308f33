// The single receiving point for page messages.
#include "AppDelegate.hpp"

#include "Bridge.hpp"

namespace corvane::shell {

bool AppDelegate::acceptsScriptMessageFrom(bool mainFrame, const std::string& origin, bool currentWindow) const {
    return mainFrame && currentWindow && origins_.containsOrigin(origin);
}

void AppDelegate::didReceiveScriptMessage(const ScriptMessage& message) {
    if (!acceptsScriptMessageFrom(message.mainFrame, message.origin, message.currentWindow)) return;
    auto parsed = core::Bridge::parse(message.body);
    if (!parsed) return;
    std::visit(
        [this](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, core::message::OpenExternal>) {
                if (core::Bridge::isSignInStart(m.url, origins_)) openExternally(m.url);
            } else if constexpr (std::is_same_v<T, core::message::SetBadge>) {
                setBadgeSoon(core::Bridge::badgeLabel(m.n));
            } else if constexpr (std::is_same_v<T, core::message::NavSubscribed>) {
                navListening_ = true;
            } else if constexpr (std::is_same_v<T, core::message::AuthSubscribed>) {
                authListening_ = true;
                deliverPendingAuth();
            } else if constexpr (std::is_same_v<T, core::message::Notify>) {
                postNotice(m.title, m.body, m.tag, m.url);
            } else if constexpr (std::is_same_v<T, core::message::Print>) {
                printPage();
            }
        },
        *parsed);
}

void AppDelegate::setBadgeSoon(std::optional<std::string> label) {
    // A page that sets its badge in a loop sends the launcher one update per main-loop turn, the last.
    badge_ = std::move(label);
    if (badgeTimer_) return;
    std::weak_ptr<AppDelegate*> weak = self_;
    badgeTimer_ = ports_.clock.schedule(std::chrono::milliseconds(0), [weak] {
        auto self = weak.lock();
        if (!self) return;
        (*self)->badgeTimer_ = 0;
        (*self)->ports_.desktop.setBadge((*self)->badge_);
    });
}

} // namespace corvane::shell
