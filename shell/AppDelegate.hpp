#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppOrigins.hpp"
#include "NoticeQuota.hpp"
#include "UnsettledNavigations.hpp"
#include "Url.hpp"
#include "ports/Bundle.hpp"
#include "ports/Clock.hpp"
#include "ports/Desktop.hpp"
#include "ports/Files.hpp"
#include "ports/Services.hpp"
#include "ports/SettingsStore.hpp"
#include "ports/SystemPorts.hpp"
#include "ports/WebEvents.hpp"

namespace corvane::shell {

enum class TerminateReply { now, later };

struct Ports {
    Desktop& desktop;
    SettingsStore& settings;
    Clock& clock;
    Services& services;
    NotificationCenter& notifications;
    Panels& panels;
    Files& files;
    Bundle& bundle;
};

// Owns all shell state; platform adapters call its entry points on the main thread and it asks the
// core for every decision.
class AppDelegate {
public:
    AppDelegate(Ports ports, std::string appVersion);
    ~AppDelegate();
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Application and window.
    void applicationDidFinishLaunching();
    // True when the app has handed over to a copy in the applications folder and is quitting.
    bool offerMoveToApplications();
    // The script that starts the moved copy ($1) once process `pid` is gone, then unmounts $2 if given.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    void windowDidEnterFullScreen();
    void windowDidExitFullScreen();

    // Navigation host.
    void navigate(const std::string& path);
    void decidePolicyForNavigationAction(const NavigationAction& action, PolicyHandler answer);
    void decidePolicyForNavigationResponse(const NavigationResponse& response, PolicyHandler answer);
    void createWebViewFor(const NavigationAction& action);
    // A main-frame load began; it has until the time-out to commit.
    void didStartProvisionalNavigation(const std::optional<std::string>& url);
    void didCommitNavigation(const std::optional<std::string>& committedURL);
    void didFinishNavigation();
    void didFailProvisionalNavigation(const LoadError& error);
    void webContentProcessDidTerminate();
    // The engine stopped a main-frame request to a page outside the app before it was sent.
    void mainFrameRequestStopped(const std::string& url);

    // Page messages. Only the current document of a trusted main frame may speak; adapters ask before
    // they decode a post's body, so nobody else's posts cost anything.
    bool acceptsScriptMessageFrom(bool mainFrame, const std::string& origin, bool currentWindow) const;
    void didReceiveScriptMessage(const ScriptMessage& message);

    // Menu items aimed at the delegate.
    void menuCommand(const std::string& raw);
    void zoomAction(int step);
    void openLink(const std::string& url);
    // "Check for Updates…": forwarded to the updater; enabled only while a check can start.
    void checkForUpdates();
    bool canCheckForUpdates() const;
    // A package-managed install or a build without a feed has none, and no menu row for it.
    bool hasUpdater() const { return updates_ != nullptr; }

    // URLs handed to the app (sign-in returns).
    void openURLs(const std::vector<std::string>& urls);

    // Notices.
    void postNotice(const std::string& title, const std::optional<std::string>& body,
                    const std::optional<std::string>& tag, const std::optional<std::string>& url);
    void didReceiveNotificationResponse(const std::optional<std::string>& url,
                                        const std::optional<std::string>& action);

    // Offline screen and connectivity.
    void retry();
    void pathDidUpdate(bool satisfied);

    // Printing, downloads, panels, dialogs, media.
    void printPage();
    void decideDownloadDestination(const std::string& suggestedName,
                                   std::function<void(std::optional<std::string>)> done);
    void runOpenPanel(bool multiple, bool directories,
                      std::function<void(std::optional<std::vector<std::string>>)> done);
    // `origin`: the origin of the page asking, shown as the dialog's heading.
    void runAlert(const std::string& origin, const std::string& message, std::function<void()> done);
    void runConfirm(const std::string& origin, const std::string& message, std::function<void(bool)> done);
    void runPrompt(const std::string& origin, const std::string& prompt, const std::optional<std::string>& defaultText,
                   std::function<void(std::optional<std::string>)> done);
    bool decideMediaCapture(const std::string& origin, bool mainFrame) const;
    // Only the app's own server may ask for a password in the app's window.
    bool mayAskForCredentials(const std::string& origin) const { return origins_.containsOrigin(origin); }

    // Development builds let tests shorten the 60-second load time-out.
    void setLoadTimeout(std::chrono::milliseconds timeout) { loadTimeout_ = timeout; }

    // Quitting: `later` means the desktop waits for replyToTerminate(), which comes exactly once.
    TerminateReply applicationShouldTerminate();
    void applicationWillTerminate();

    // Read-only views of the state, for tests.
    bool shown() const { return shown_; }
    bool navListening() const { return navListening_; }
    bool authListening() const { return authListening_; }
    bool offlineShown() const { return offlineShown_; }
    bool hasPendingAuth() const { return pendingAuth_.has_value(); }
    const std::optional<core::Url>& failedURL() const { return failedURL_; }

private:
    void reveal();
    void openExternally(const core::Url& url);
    void showOffline(const std::optional<core::Url>& url);
    void deliverAuth(const core::Url& url);
    void deliverPendingAuth();
    void setBadgeSoon(std::optional<std::string> label);
    void cancelLoadTimer();
    void loadTimedOut(const std::optional<std::string>& url);

    struct PendingAuth {
        core::Url url;
        std::chrono::steady_clock::time_point at;
    };

    Ports ports_;
    const std::string appVersion_;
    MainWindow* window_ = nullptr;
    Updater* updates_ = nullptr;
    WebView* web_ = nullptr;
    const core::AppOrigins origins_;
    core::Url startURL_;
    std::optional<PendingAuth> pendingAuth_;
    bool authListening_ = false;
    bool offlineShown_ = false;
    std::optional<core::Url> failedURL_;
    bool pathWasDown_ = false;
    bool quitting_ = false;
    bool navListening_ = false;
    bool shown_ = false;
    UnsettledNavigations unsettled_;
    std::optional<core::Url> lastTrustedURL_;
    // The only addresses the link items may open: their action is reachable from outside the app.
    std::vector<std::string> menuLinks_;
    // The badge a page set during this main-loop turn, sent once at its end.
    std::optional<std::string> badge_;
    TimerId badgeTimer_ = 0;
    NoticeQuota noticeQuota_;
    std::chrono::milliseconds loadTimeout_{60000};
    TimerId loadTimer_ = 0;
    // Timers hold this weakly.
    std::shared_ptr<AppDelegate*> self_;
};

} // namespace corvane::shell
