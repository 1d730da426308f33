#pragma once

#include <functional>
#include <memory>
#include <string>

#include <webkit/webkit.h>

#include "Fetch.hpp"
#include "Updater.hpp"
#include "updater/UpdateWindows.hpp"

namespace corvane::gtk {

// The updater of a bundle the app updates itself: created at launch, installs when the app shuts down.
class AppUpdater {
public:
    // None for a copy the app does not update (package-managed, unwritable, no feed configured).
    static std::unique_ptr<AppUpdater> create(GtkApplication* app, shell::SettingsStore& settings,
                                              std::function<void()> quit, std::function<void()> stateChanged);
    ~AppUpdater();
    shell::Updater& updater() { return updater_; }
    // After the quit protocol, as the application shuts down.
    void shutdown();

private:
    AppUpdater(GtkApplication* app, update::Config config, std::string bundle, shell::SettingsStore& settings,
               std::function<void()> quit, std::function<void()> stateChanged);

    std::string bundle_;
    update::Fetcher fetcher_;
    UpdateWindows windows_;
    update::Updater updater_;
    guint start_ = 0;
};

} // namespace corvane::gtk
