#pragma once

#include <gio/gio.h>

#include "AppDelegate.hpp"

namespace corvane::gtk {

// Reports whether the network is usable: once after start, then on every change.
class NetworkWatch {
public:
    explicit NetworkWatch(shell::AppDelegate*& delegate) : delegate_(delegate) {}
    ~NetworkWatch();
    void start();

private:
    shell::AppDelegate*& delegate_;
    GNetworkMonitor* monitor_ = nullptr;
};

} // namespace corvane::gtk
