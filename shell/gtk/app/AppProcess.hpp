// The process's objects once it is the running instance, and its one way to quit.
#pragma once

#include <memory>

#include <gio/gio.h>
#include <webkit/webkit.h>

#include "AppDelegate.hpp"
#include "app/GtkBundle.hpp"
#include "app/GtkClock.hpp"
#include "app/GtkFiles.hpp"
#include "app/GtkSettingsStore.hpp"
#include "desktop/BackgroundPortal.hpp"
#include "desktop/GtkDesktop.hpp"
#include "desktop/StatusIcon.hpp"

namespace corvane::gtk {

// Made before the application runs, gone after it has returned. It answers the application's own
// signals (registration, start-up, activation, links to open, shutdown); every quit, from the menu, the
// status icon, the background portal, the session, a signal or a move, goes through requestQuit().
class AppProcess {
public:
    explicit AppProcess(GApplication* application);
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    // The page may get to say goodbye first; the application ends once the delegate agrees.
    void requestQuit();

private:
    void registered();
    void startUp();
    void activate();
    void open(GFile** files, int count);
    void shutdown();
    void launchOnce();
    void finishQuit();

    GApplication* application_;
    // Started as soon as this process knows it is the running instance; handed to the desktop.
    WebKitNetworkSession* session_ = nullptr;
    GtkSettingsStore settings_;
    GtkClock clock_;
    std::unique_ptr<GtkDesktop> desktop_;
    GtkFiles files_;
    std::unique_ptr<GtkBundle> bundle_;
    std::unique_ptr<shell::AppDelegate> delegate_;
    std::unique_ptr<BackgroundPortal> background_;
    std::unique_ptr<StatusIcon> statusIcon_;
    bool launched_ = false;
    bool holding_ = false;
    bool finished_ = false;
};

} // namespace corvane::gtk
