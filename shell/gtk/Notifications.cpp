#include "Notifications.hpp"

namespace corvane::gtk {

GioNotifications::GioNotifications(GApplication* app, shell::AppDelegate*& delegate) : app_(app), delegate_(delegate) {}

void GioNotifications::setUp(std::string_view category, const std::vector<core::Notice::Action>& actions) {
    category_ = category;
    actions_ = actions;
}

void GioNotifications::requestAuthorization(std::function<void(bool)> answer) { answer(true); }

void GioNotifications::add(const shell::NoticeRequest&) {}

std::string GioNotifications::newIdentifier() {
    gchar* uuid = g_uuid_string_random();
    std::string out(uuid);
    g_free(uuid);
    for (char& c : out) c = g_ascii_toupper(c);
    return out;
}

} // namespace corvane::gtk
