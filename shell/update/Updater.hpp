#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Config.hpp"
#include "Feed.hpp"
#include "Fetch.hpp"
#include "SettingsKeys.hpp"
#include "ports/SettingsStore.hpp"
#include "ports/Updater.hpp"

namespace corvane::update {

inline constexpr std::uint64_t kMaxFeedBytes = 1ull << 20;
inline constexpr std::uint64_t kMaxDownloadBytes = 1ull << 30;

// The updater's windows; each new one replaces the one shown. Every completion is called at most once.
class UpdateWindows {
public:
    virtual ~UpdateWindows() = default;
    enum class Answer { skip, later, install };
    // `done` gets the answer and the state of the automatic-install check box.
    virtual void showFound(const FeedItem& item, const std::string& running, bool automatic,
                           std::function<void(Answer, bool automatic)> done) = 0;
    virtual void showDownloading(std::function<void()> cancel) = 0;
    virtual void showProgress(std::uint64_t received, std::uint64_t total) = 0;
    // `relaunch` is called when the person chooses to install now; closing the window leaves it for the quit.
    virtual void showReady(const FeedItem& item, std::function<void()> relaunch) = 0;
    virtual void showUpToDate(const std::string& running) = 0;
    virtual void showError(const std::string& reason) = 0;
    virtual void askAutomaticChecks(std::function<void(bool)> done) = 0;
    // The update to `version` (empty when unknown) could not start, and this copy runs again in its place.
    virtual void showWithdrawn(const std::string& version, const std::string& running) = 0;
    virtual void closeAll() = 0;
};

namespace keys = shell::keys::update;

// Checks the feed on its schedule and on request, downloads, verifies and unpacks beside the bundle,
// and swaps the bundle when the app quits.
class Updater : public shell::Updater {
public:
    struct Setup {
        Config config;
        std::string bundle;
        std::string running; // this copy's version
        shell::SettingsStore& settings;
        Fetcher& fetcher;
        UpdateWindows& windows;
        std::function<void()> quit;         // asks the app to quit (for "Install and Relaunch")
        std::function<void()> stateChanged; // canCheckForUpdates() may have changed
    };
    explicit Updater(Setup setup);
    ~Updater() override;

    // The second-launch question and the schedule.
    void start();
    bool canCheckForUpdates() const override;
    void checkForUpdates() override;
    // The first one proves a new copy on trial: it takes the launcher's place and the kept copy goes.
    void pageLoaded() override;

    // At quit: puts a ready update in place of the bundle. True when the bundle was replaced.
    bool installOnQuit();
    // The person chose "Install and Relaunch".
    bool relaunchRequested() const { return relaunch_; }

private:
    enum class State { idle, checking, downloading, ready };
    void setState(State state);
    void scheduleNext();
    void check(bool userInitiated);
    void parse(std::string body, bool userInitiated);
    void offLoop(std::function<void()> work, std::function<void(Updater&)> done);
    void checked();
    void parsed(const std::optional<std::vector<FeedItem>>& items, bool userInitiated);
    void download(const FeedItem& item, bool visible);
    void stage(const FeedItem& item, bool visible);
    void staged(const FeedItem& item, bool visible, const std::string& refused, const std::string& bundle);
    void fail(const std::string& reason, bool visible);
    std::int64_t now() const;

    Setup s_;
    State state_ = State::idle;
    std::optional<FeedItem> ready_;
    std::string stagedRoot_;   // the unpacked archive
    std::string stagedBundle_; // inside it: the folder holding bin/corvane
    bool relaunch_ = false;
    bool loaded_ = false;
    std::optional<std::string> withdrawn_; // told once, at start
    unsigned timer_ = 0;
    std::shared_ptr<Updater*> alive_; // work on other threads reports back only while this lives
};

} // namespace corvane::update
