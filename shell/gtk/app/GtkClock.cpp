#include "app/GtkClock.hpp"

namespace corvane::gtk {

struct GtkClock::Pending {
    GtkClock* clock;
    shell::TimerId id;
    std::function<void()> task;
};

GtkClock::~GtkClock() {
    for (auto& [id, source] : sources_) g_source_remove(source);
}

shell::TimerId GtkClock::schedule(std::chrono::milliseconds delay, std::function<void()> task) {
    const shell::TimerId id = ++next_;
    auto* pending = new Pending{this, id, std::move(task)};
    sources_[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()), &GtkClock::fire, pending,
                                      [](gpointer data) { delete static_cast<Pending*>(data); });
    return id;
}

void GtkClock::cancel(shell::TimerId timer) {
    auto it = sources_.find(timer);
    if (it == sources_.end()) return;
    g_source_remove(it->second);
    sources_.erase(it);
}

gboolean GtkClock::fire(gpointer data) {
    auto* pending = static_cast<Pending*>(data);
    pending->clock->sources_.erase(pending->id);
    auto task = std::move(pending->task);
    task();
    return G_SOURCE_REMOVE;
}

} // namespace corvane::gtk
