#pragma once

#include <string_view>
#include <vector>

#include "MenuModel.hpp"
#include "Updater.hpp"

namespace corvane::shell {

// Platform services the launch sequence starts.
class Services {
public:
    virtual ~Services() = default;
    // The started updater, or none where this copy is not updated by the app (kept for the process).
    virtual Updater* startUpdater() = 0;
    virtual void installMenuBar(const std::vector<core::Menu>& menus) = 0;
    virtual void startNetworkMonitor() = 0;
};

} // namespace corvane::shell
