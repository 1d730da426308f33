#pragma once

#include <functional>

#include <gtk/gtk.h>

#include "ports/Bundle.hpp"

namespace corvane::gtk {

// The running bundle (the folder holding bin/corvane) and what moving it needs of the desktop.
class GtkBundle : public shell::Bundle {
public:
    explicit GtkBundle(GtkApplication* app) : app_(app) {}
    void setQuitHandler(std::function<void()> quit) { quit_ = std::move(quit); }

    std::string bundlePath() override;
    std::string homePath() override;
    core::Placement::Places places() override;
    shell::LaunchAlertAnswer runLaunchAlert(const shell::LaunchAlert& alert) override;
    std::vector<std::string> runningCopies() override;
    void activateCopy(const std::string& bundlePath) override;
    void bundleMoved(const std::string& newPath) override;
    long processId() override;
    void spawnDetached(const std::vector<std::string>& argv) override;
    void terminate() override;

private:
    GtkApplication* app_;
    std::function<void()> quit_;
};

// Started on its own, in "/", with the standard streams on the null device; failures ignored.
void spawnDetachedProcess(const std::vector<std::string>& argv);

} // namespace corvane::gtk
