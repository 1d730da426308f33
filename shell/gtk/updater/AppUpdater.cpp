#include "updater/AppUpdater.hpp"

#include <unistd.h>

#include "BuildConfig.hpp"
#include "DevCert.hpp"
#include "Relaunch.hpp"
#include "Url.hpp"
#include "app/GtkBundle.hpp"

namespace corvane::gtk {

namespace {

std::string serviceHost() {
    auto base = core::Url::parse(core::build::baseURL);
    return base ? base->hostLower() : "";
}

} // namespace

std::unique_ptr<AppUpdater> AppUpdater::create(GtkApplication* app, shell::SettingsStore& settings,
                                               std::function<void()> quit, std::function<void()> stateChanged) {
    auto bundle = update::updatableBundle("/proc/self/exe");
    if (!bundle) return nullptr;
    auto config = update::readConfig(*bundle);
    if (!config) return nullptr;
    return std::unique_ptr<AppUpdater>(
        new AppUpdater(app, std::move(*config), *bundle, settings, std::move(quit), std::move(stateChanged)));
}

AppUpdater::AppUpdater(GtkApplication* app, update::Config config, std::string bundle, shell::SettingsStore& settings,
                       std::function<void()> quit, std::function<void()> stateChanged)
    : bundle_(bundle),
      fetcher_("Corvane/" + std::string(core::build::version), kDevCertificatePem, serviceHost()),
      windows_(app),
      updater_({std::move(config), std::move(bundle), std::string(core::build::version), settings, fetcher_, windows_,
                std::move(quit), std::move(stateChanged)}) {
    // The question and the first check wait for the main window.
    start_ = g_idle_add_once(
        [](gpointer d) {
            auto* self = static_cast<AppUpdater*>(d);
            self->start_ = 0;
            self->updater_.start();
        },
        this);
}

AppUpdater::~AppUpdater() {
    if (start_) g_source_remove(start_);
}

// After the quit protocol: the staged copy replaces this one, and on request starts once this process
// has gone (the new copy must not find this one still holding the application's name).
void AppUpdater::shutdown() {
    windows_.closeAll();
    fetcher_.cancelAll();
    updater_.installOnQuit();
    if (!updater_.relaunchRequested()) return;
    spawnDetachedProcess(shell::relaunchCommand(getpid(), bundle_));
}

} // namespace corvane::gtk
