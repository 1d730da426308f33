#pragma once

#include <string_view>
#include <vector>

#include "MenuModel.hpp"

namespace corvane::shell {

// Platform services the launch sequence starts.
class Services {
public:
    virtual ~Services() = default;
    virtual void startUpdater() = 0;
    virtual void installMenuBar(const std::vector<core::Menu>& menus) = 0;
    virtual void startNetworkMonitor() = 0;
};

} // namespace corvane::shell
