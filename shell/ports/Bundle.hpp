#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Placement.hpp"

namespace corvane::shell {

struct LaunchAlert {
    std::string message;
    std::string informative;
    std::vector<std::string> buttons;    // the first is the default
    std::optional<std::string> checkBox; // present: a check box with this title, unticked
};

struct LaunchAlertAnswer {
    int button = -1; // -1: closed without a button
    bool checked = false;
};

// The running app as a folder that can move, and the system around it while it starts.
class Bundle {
public:
    virtual ~Bundle() = default;
    // The folder the app runs from; empty when it does not run from a movable bundle.
    virtual std::string bundlePath() = 0;
    virtual std::string homePath() = 0;
    // Where apps count as installed or downloaded on this system, for this user.
    virtual core::Placement::Places places() = 0;
    // Modal before any window exists: returns once answered.
    virtual LaunchAlertAnswer runLaunchAlert(const LaunchAlert& alert) = 0;
    // The bundle folders of the other running copies of the app.
    virtual std::vector<std::string> runningCopies() = 0;
    virtual void activateCopy(const std::string& bundlePath) = 0;
    // The desktop's launcher entry is to follow the app to its new place.
    virtual void bundleMoved(const std::string& newPath) = 0;
    virtual long processId() = 0;
    // Started on its own (working directory "/", standard streams on the null device); failures ignored.
    virtual void spawnDetached(const std::vector<std::string>& argv) = 0;
    virtual void terminate() = 0;
};

} // namespace corvane::shell
