// Launch sequence and the window-level behaviours.
#include "AppDelegate.hpp"
#include "SettingsKeys.hpp"

#include "Bridge.hpp"
#include "DeskFeatures.hpp"
#include "MenuModel.hpp"
#include "Notice.hpp"

namespace corvane::shell {

using namespace std::chrono_literals;

AppDelegate::AppDelegate(Ports ports, std::string appVersion)
    : ports_(ports),
      appVersion_(std::move(appVersion)),
      origins_(core::AppOrigins::production()),
      startURL_(core::defaultStartURL()),
      self_(std::make_shared<AppDelegate*>(this)) {}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    if (offerMoveToApplications()) return;
    ports_.settings.registerDefaults(core::DeskFeatures::textDefaults());

    if (auto stored = ports_.settings.string(keys::lastPath); stored && core::Notice::isAppPath(*stored))
        if (auto url = startURL_.resolve(*stored)) startURL_ = std::move(*url);

    updates_ = ports_.services.startUpdater();
    const auto menus = core::MenuModel::build("Corvane", core::Platform::linuxDesktop);
    for (const auto& menu : menus)
        for (const auto& item : menu.items)
            if (item.action())
                if (auto* link = std::get_if<core::action::Link>(&*item.action())) menuLinks_.push_back(link->url);
    ports_.services.installMenuBar(menus);

    web_ = &ports_.desktop.createWebView({core::Bridge::preloadScript(appVersion_, core::Platform::linuxDesktop),
                                          std::string(core::Bridge::handlerName)});
    window_ = &ports_.desktop.createMainWindow({"Corvane", 1280, 820, 900, 600}, *web_);
    window_->restoreFrame(std::string(keys::mainFrame));
    window_->present();
    if (ports_.settings.boolean(keys::wasFullScreen).value_or(false)) window_->toggleFullScreen();
    ports_.desktop.activate();

    web_->load(startURL_);
    ports_.notifications.setUp(core::Notice::checkinCategory, core::Notice::actions());

    std::weak_ptr<AppDelegate*> weak = self_;
    ports_.clock.schedule(2500ms, [weak] {
        auto self = weak.lock();
        if (!self || (*self)->shown_) return;
        (*self)->shown_ = true;
        (*self)->reveal();
    });
    ports_.services.startNetworkMonitor();
}

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows && window_) window_->present();
    return true;
}

void AppDelegate::windowDidEnterFullScreen() { ports_.settings.setBoolean(keys::wasFullScreen, true); }
void AppDelegate::windowDidExitFullScreen() { ports_.settings.setBoolean(keys::wasFullScreen, false); }

void AppDelegate::reveal() {
    if (web_) web_->reveal();
}

void AppDelegate::openExternally(const core::Url& url) { ports_.desktop.openExternal(url); }

} // namespace corvane::shell
