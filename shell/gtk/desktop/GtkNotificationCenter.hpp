#pragma once

#include <gio/gio.h>

#include "app/DelegateHandle.hpp"
#include "ports/SystemPorts.hpp"
#include "toolkit/GObjectRef.hpp"

namespace corvane::gtk {

// Notices as GNotifications of the application; clicks and buttons come back as the app action
// "notice-response" with the target (url, action id) — empty strings standing for none — and reach
// the delegate.
class GtkNotificationCenter : public shell::NotificationCenter {
public:
    GtkNotificationCenter(GApplication* app, const DelegateHandle& delegate);
    ~GtkNotificationCenter() override;
    GtkNotificationCenter(const GtkNotificationCenter&) = delete;
    GtkNotificationCenter& operator=(const GtkNotificationCenter&) = delete;

    void setUp(std::string_view category, const std::vector<core::Notice::Action>& actions) override;
    void requestAuthorization(std::function<void(bool)> answer) override;
    void add(const shell::NoticeRequest& request) override;
    std::string newIdentifier() override;

private:
    GApplication* app_;
    const DelegateHandle& delegate_;
    GObjectRef<GSimpleAction> response_;
    std::string category_;
    std::vector<core::Notice::Action> actions_;

    static void onResponse(GSimpleAction* action, GVariant* target, gpointer self);
};

} // namespace corvane::gtk
