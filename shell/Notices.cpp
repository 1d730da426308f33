// Page notices on the desktop's notification service.
#include "AppDelegate.hpp"

#include "Notice.hpp"

namespace corvane::shell {

void AppDelegate::postNotice(const std::string& title, const std::optional<std::string>& body,
                             const std::optional<std::string>& tag, const std::optional<std::string>& url) {
    if (!noticeQuota_.take(tag, ports_.clock.now())) return;
    NoticeRequest request{
        tag ? *tag : ports_.notifications.newIdentifier(),
        title,
        body.value_or(""),
        url.value_or(""),
        core::Notice::followUpId(url) ? std::optional<std::string>(core::Notice::checkinCategory) : std::nullopt,
        "corvane"};
    NotificationCenter& center = ports_.notifications;
    // Only the captured request is used once the answer comes.
    center.requestAuthorization([&center, request](bool granted) {
        if (granted) center.add(request);
    });
}

void AppDelegate::didReceiveNotificationResponse(const std::optional<std::string>& url,
                                                 const std::optional<std::string>& action) {
    if (window_) window_->present();
    ports_.desktop.activate();
    navigate(core::Notice::route(url, action));
}

} // namespace corvane::shell
