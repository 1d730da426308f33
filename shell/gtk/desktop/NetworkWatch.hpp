#pragma once

#include <optional>

#include <gio/gio.h>

#include "app/DelegateHandle.hpp"

namespace corvane::gtk {

// Reports whether the network is usable: once after start, then on every change.
class NetworkWatch {
public:
    explicit NetworkWatch(const DelegateHandle& delegate) : delegate_(delegate) {}
    ~NetworkWatch();
    NetworkWatch(const NetworkWatch&) = delete;
    NetworkWatch& operator=(const NetworkWatch&) = delete;
    void start();

private:
    void report();
    static void onNetworkChanged(GNetworkMonitor*, gboolean, gpointer data);
    static void onAvailableNotify(GObject*, GParamSpec*, gpointer data);

    const DelegateHandle& delegate_;
    GNetworkMonitor* monitor_ = nullptr;
    std::optional<bool> last_;
};

} // namespace corvane::gtk
