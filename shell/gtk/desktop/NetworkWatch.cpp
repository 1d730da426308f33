#include "desktop/NetworkWatch.hpp"

namespace corvane::gtk {

NetworkWatch::~NetworkWatch() {
    if (monitor_) g_signal_handlers_disconnect_by_data(monitor_, this);
}

void NetworkWatch::start() {
    if (monitor_) return;
    // GIO's own instance, shared and never freed.
    monitor_ = g_network_monitor_get_default();
    // The NetworkManager backend only notifies the property; the netlink one emits the signal.
    g_signal_connect(monitor_, "network-changed", G_CALLBACK(onNetworkChanged), this);
    g_signal_connect(monitor_, "notify::network-available", G_CALLBACK(onAvailableNotify), this);
    report();
}

void NetworkWatch::report() {
    // The signal's argument can disagree with the property on backends that layer one monitor on
    // another; the property is what GIO answers everyone else.
    const bool available = g_network_monitor_get_network_available(monitor_);
    // Route churn repeats the same answer many times over.
    if (last_ == available) return;
    last_ = available;
    if (delegate_) delegate_->pathDidUpdate(available);
}

void NetworkWatch::onNetworkChanged(GNetworkMonitor*, gboolean, gpointer data) {
    static_cast<NetworkWatch*>(data)->report();
}

void NetworkWatch::onAvailableNotify(GObject*, GParamSpec*, gpointer data) {
    static_cast<NetworkWatch*>(data)->report();
}

} // namespace corvane::gtk
