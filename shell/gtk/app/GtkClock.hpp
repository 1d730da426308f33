#pragma once

#include <map>

#include <glib.h>

#include "ports/Clock.hpp"

namespace corvane::gtk {

// Timers on the GLib main context, which keeps running while the app waits on anything.
class GtkClock : public shell::Clock {
public:
    ~GtkClock() override;
    std::chrono::steady_clock::time_point now() override { return std::chrono::steady_clock::now(); }
    shell::TimerId schedule(std::chrono::milliseconds delay, std::function<void()> task) override;
    void cancel(shell::TimerId timer) override;

private:
    struct Pending;
    static gboolean fire(gpointer data);
    shell::TimerId next_ = 0;
    std::map<shell::TimerId, guint> sources_;
};

} // namespace corvane::gtk
