#include "NetworkWatch.hpp"

namespace corvane::gtk {

NetworkWatch::~NetworkWatch() {
    if (monitor_) g_signal_handlers_disconnect_by_data(monitor_, this);
}

void NetworkWatch::start() {}

} // namespace corvane::gtk
