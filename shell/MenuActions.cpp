// What the menu items aimed at the delegate do.
#include "AppDelegate.hpp"

#include <algorithm>

#include "Bridge.hpp"

namespace corvane::shell {

void AppDelegate::menuCommand(const std::string& raw) {
    auto command = core::menuCommandFromRaw(raw);
    if (!command || !window_ || !web_) return;
    window_->present();
    web_->evaluate(core::Bridge::dispatchScript(*command), [] {});
}

void AppDelegate::zoomAction(int step) {
    if (!web_) return;
    double factor = 1.0;
    if (step != 0) {
        // Plain double sums, clamped: 0.9, 0.8, 0.7000000000000001, ...
        factor = web_->zoom() + 0.1 * step;
        if (factor < 0.6) factor = 0.6;
        if (factor >= 2.0) factor = 2.0;
    }
    web_->setZoom(factor);
}

void AppDelegate::openLink(const std::string& text) {
    if (std::find(menuLinks_.begin(), menuLinks_.end(), text) == menuLinks_.end()) return;
    if (auto url = core::Url::parse(text)) openExternally(*url);
}

} // namespace corvane::shell
