// The menu's face of the updater.
#include "AppDelegate.hpp"

namespace corvane::shell {

void AppDelegate::checkForUpdates() {
    if (updates_) updates_->checkForUpdates();
}

bool AppDelegate::canCheckForUpdates() const { return updates_ && updates_->canCheckForUpdates(); }

} // namespace corvane::shell
