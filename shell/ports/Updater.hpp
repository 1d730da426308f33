#pragma once

namespace corvane::shell {

// The app's own updater: it checks on its own schedule with its own windows, and installs a
// downloaded update when the app quits.
class Updater {
public:
    virtual ~Updater() = default;
    // Whether a check the user asks for can start now (not while one runs or downloads).
    virtual bool canCheckForUpdates() const = 0;
    // A check the user asked for, with its own progress and result windows.
    virtual void checkForUpdates() = 0;
    // A page has finished loading in the main view.
    virtual void pageLoaded() {}
};

} // namespace corvane::shell
