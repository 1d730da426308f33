#include "desktop/GtkNotificationCenter.hpp"

#include "dialogs/About.hpp"

namespace corvane::gtk {

namespace {

constexpr const char* kResponseAction = "notice-response";
constexpr const char* kDetailedResponseAction = "app.notice-response";

// GVariant strings must be UTF-8; page text normally is, but a bad byte must not drop the notice.
std::string valid(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    g_autofree gchar* fixed = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    return fixed;
}

std::optional<std::string> noneIfEmpty(const gchar* text) {
    if (!text || !*text) return std::nullopt;
    return std::string(text);
}

} // namespace

GtkNotificationCenter::GtkNotificationCenter(GApplication* app, const DelegateHandle& delegate)
    : app_(app), delegate_(delegate) {}

GtkNotificationCenter::~GtkNotificationCenter() {
    if (!response_) return;
    // The action outlives this object in the application's map; cut it loose first.
    g_signal_handlers_disconnect_by_data(response_, this);
    g_action_map_remove_action(G_ACTION_MAP(app_), kResponseAction);
}

void GtkNotificationCenter::setUp(std::string_view category, const std::vector<core::Notice::Action>& actions) {
    category_ = category;
    actions_ = actions;
    if (response_) return;
    response_.reset(g_simple_action_new(kResponseAction, G_VARIANT_TYPE("(ss)")));
    g_signal_connect(response_, "activate", G_CALLBACK(onResponse), this);
    g_action_map_add_action(G_ACTION_MAP(app_), G_ACTION(response_.get()));
}

void GtkNotificationCenter::onResponse(GSimpleAction*, GVariant* target, gpointer data) {
    auto* self = static_cast<GtkNotificationCenter*>(data);
    if (!self->delegate_ || !target) return;
    const gchar* url = nullptr;
    const gchar* action = nullptr;
    g_variant_get(target, "(&s&s)", &url, &action);
    self->delegate_->didReceiveNotificationResponse(noneIfEmpty(url), noneIfEmpty(action));
}

// Desktop notifications on Linux need no permission: the server shows or hides them by its own settings.
void GtkNotificationCenter::requestAuthorization(std::function<void(bool)> answer) { answer(true); }

void GtkNotificationCenter::add(const shell::NoticeRequest& request) {
    const std::string url = valid(request.url);
    g_autoptr(GNotification) notification = g_notification_new(valid(request.title).c_str());
    if (!request.body.empty()) g_notification_set_body(notification, valid(request.body).c_str());
    g_notification_set_priority(notification, G_NOTIFICATION_PRIORITY_NORMAL);
    g_autoptr(GIcon) icon = g_themed_icon_new(kAppIconName);
    g_notification_set_icon(notification, icon);
    g_notification_set_default_action_and_target(notification, kDetailedResponseAction, "(ss)", url.c_str(), "");
    if (request.category && *request.category == category_) {
        for (const auto& action : actions_)
            g_notification_add_button_with_target(notification, valid(action.title).c_str(), kDetailedResponseAction,
                                                  "(ss)", url.c_str(), valid(action.id).c_str());
    }
    g_application_send_notification(app_, valid(request.identifier).c_str(), notification);
}

std::string GtkNotificationCenter::newIdentifier() {
    g_autofree gchar* uuid = g_uuid_string_random();
    std::string out(uuid);
    for (char& c : out) c = g_ascii_toupper(c);
    return out;
}

} // namespace corvane::gtk
