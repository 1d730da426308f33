#include "Updater.hpp"

#include <filesystem>
#include <utility>

#include <gio/gio.h>

#include "Install.hpp"
#include "Signature.hpp"
#include "Unpack.hpp"

namespace corvane::update {

namespace fs = std::filesystem;

Updater::Updater(Setup setup) : s_(std::move(setup)), alive_(std::make_shared<Updater*>(this)) {
    // Left by a copy that ended before it could install.
    std::error_code error;
    fs::remove(stagingPath(s_.bundle, "download"), error);
    fs::remove_all(stagingPath(s_.bundle, "staged"), error);
    withdrawn_ = takeWithdrawn(s_.bundle);
    if (withdrawn_ && !withdrawn_->empty()) s_.settings.setString(keys::skippedVersion, *withdrawn_);
}

Updater::~Updater() {
    if (timer_) g_source_remove(timer_);
}

std::int64_t Updater::now() const { return g_get_real_time() / G_USEC_PER_SEC; }

void Updater::setState(State state) {
    state_ = state;
    if (s_.stateChanged) s_.stateChanged();
}

void Updater::start() {
    if (auto version = std::exchange(withdrawn_, std::nullopt)) s_.windows.showWithdrawn(*version, s_.running);
    auto automatic = s_.settings.boolean(keys::automaticChecks);
    if (!automatic) {
        // The first launch only notes itself; the second asks, once.
        if (!s_.settings.boolean(keys::launchedBefore).value_or(false)) {
            s_.settings.setBoolean(keys::launchedBefore, true);
            return;
        }
        s_.windows.askAutomaticChecks([this](bool yes) {
            s_.settings.setBoolean(keys::automaticChecks, yes);
            if (yes) scheduleNext();
        });
        return;
    }
    if (*automatic) scheduleNext();
}

void Updater::scheduleNext() {
    if (timer_) g_source_remove(timer_);
    timer_ = 0;
    if (!s_.settings.boolean(keys::automaticChecks).value_or(false)) return;
    std::int64_t last = 0;
    if (auto stored = s_.settings.string(keys::lastCheckTime)) last = g_ascii_strtoll(stored->c_str(), nullptr, 10);
    std::int64_t wait = last + s_.config.interval.count() - now();
    // A clock set back does not postpone checks for longer than the interval.
    wait = std::clamp<std::int64_t>(wait, 1, s_.config.interval.count());
    timer_ = g_timeout_add_seconds(
        static_cast<guint>(wait),
        +[](gpointer d) -> gboolean {
            auto* self = static_cast<Updater*>(d);
            self->timer_ = 0;
            if (self->state_ == State::idle) self->check(false);
            else self->scheduleNext();
            return G_SOURCE_REMOVE;
        },
        this);
}

void Updater::pageLoaded() {
    if (std::exchange(loaded_, true)) return;
    const std::string kept = proveStart(s_.bundle);
    if (kept.empty()) return;
    // A bundle's worth of files: not on the main loop.
    offLoop(
        [kept] {
            std::error_code error;
            fs::remove_all(kept, error);
        },
        nullptr);
}

bool Updater::canCheckForUpdates() const { return state_ == State::idle || state_ == State::ready; }

void Updater::checkForUpdates() {
    if (state_ == State::ready && ready_) {
        s_.windows.showReady(*ready_, [this] {
            relaunch_ = true;
            if (s_.quit) s_.quit();
        });
        return;
    }
    if (state_ == State::idle) check(true);
}

void Updater::check(bool userInitiated) {
    setState(State::checking);
    s_.fetcher.fetch(
        {s_.config.feedURL, kMaxFeedBytes, false, "", nullptr, [this, userInitiated](Outcome<std::string> body) {
             s_.settings.setString(keys::lastCheckTime, std::to_string(now()));
             if (!body) {
                 checked();
                 return fail(body.reason() == Fetcher::cancelled ? "" : body.reason(), userInitiated);
             }
             parse(body.value(), userInitiated);
         }});
}

// A feed is unsigned and up to a megabyte: whatever it holds, reading it must not hold up the window.
void Updater::parse(std::string body, bool userInitiated) {
    auto items = std::make_shared<std::optional<std::vector<FeedItem>>>();
    offLoop([body = std::move(body), items] { *items = parseFeed(body); },
            [items, userInitiated](Updater& self) { self.parsed(*items, userInitiated); });
}

// `work` runs on a worker thread and must not touch the updater; `done` runs on the main loop after it,
// and only while the updater lives.
void Updater::offLoop(std::function<void()> work, std::function<void(Updater&)> done) {
    struct Job {
        std::function<void()> work;
        std::function<void(Updater&)> done;
        std::weak_ptr<Updater*> owner;
    };
    GTask* task = g_task_new(
        nullptr, nullptr,
        +[](GObject*, GAsyncResult* result, gpointer) {
            auto* job = static_cast<Job*>(g_task_get_task_data(G_TASK(result)));
            if (auto owner = job->owner.lock(); owner && job->done) job->done(**owner);
        },
        nullptr);
    g_task_set_task_data(
        task, new Job{std::move(work), std::move(done), alive_}, +[](gpointer d) { delete static_cast<Job*>(d); });
    g_task_run_in_thread(
        task, +[](GTask*, gpointer, gpointer data, GCancellable*) { static_cast<Job*>(data)->work(); });
    g_object_unref(task);
}

void Updater::checked() {
    setState(State::idle);
    scheduleNext();
}

void Updater::parsed(const std::optional<std::vector<FeedItem>>& items, bool userInitiated) {
    checked();
    if (!items) return fail("The update feed is not readable.", userInitiated);
    auto update = newestUpdate(*items, s_.running);
    if (!update) {
        if (userInitiated) s_.windows.showUpToDate(s_.running);
        return;
    }
    if (!userInitiated && s_.settings.string(keys::skippedVersion) == update->version) return;
    if (!userInitiated && s_.settings.boolean(keys::automaticDownloads).value_or(false))
        return download(*update, false);
    s_.windows.showFound(*update, s_.running, s_.settings.boolean(keys::automaticDownloads).value_or(false),
                         [this, item = *update](UpdateWindows::Answer answer, bool automatic) {
                             if (answer == UpdateWindows::Answer::skip)
                                 s_.settings.setString(keys::skippedVersion, item.version);
                             if (answer != UpdateWindows::Answer::install || state_ != State::idle) return;
                             s_.settings.setBoolean(keys::automaticDownloads, automatic);
                             download(item, true);
                         });
}

void Updater::fail(const std::string& reason, bool visible) {
    if (visible && !reason.empty()) s_.windows.showError(reason);
    else if (!reason.empty()) g_message("update: %s", reason.c_str());
}

void Updater::download(const FeedItem& item, bool visible) {
    if (item.length > kMaxDownloadBytes) return fail("The update is too large.", visible);
    setState(State::downloading);
    if (visible) s_.windows.showDownloading([this] { s_.fetcher.cancelAll(); });
    const std::string file = stagingPath(s_.bundle, "download");
    s_.fetcher.fetch({item.url, item.length, true, file,
                      [this, visible, total = item.length](std::uint64_t received) {
                          if (visible) s_.windows.showProgress(received, total);
                      },
                      [this, item, visible](Outcome<std::string> saved) {
                          if (!saved) {
                              setState(State::idle);
                              if (saved.reason() == Fetcher::cancelled) return s_.windows.closeAll();
                              return fail(saved.reason(), visible);
                          }
                          stage(item, visible);
                      }});
}

// The signature is checked before a byte of the archive is unpacked. Both run on a worker thread (half
// a second for a 4 MB archive here); the answer comes back on the main loop.
void Updater::stage(const FeedItem& item, bool visible) {
    struct Staged {
        std::string refused, bundle;
    };
    auto out = std::make_shared<Staged>();
    offLoop(
        [out, file = stagingPath(s_.bundle, "download"), root = stagingPath(s_.bundle, "staged"), item,
         running = s_.running, key = s_.config.publicKey] {
            std::error_code error;
            if (!verifyFile(file, item.signature, key)) {
                out->refused = "The update is not signed by the makers of Corvane.";
            } else {
                fs::remove_all(root, error);
                auto unpacked = unpack(file, root);
                out->refused = unpacked.reason();
                // The feed is not signed: the version that counts is the one inside the archive.
                if (unpacked) {
                    out->bundle = unpacked.value();
                    out->refused = checkVersion(bundleVersion(out->bundle), item.version, running).reason();
                }
                if (!out->refused.empty()) fs::remove_all(root, error);
            }
            fs::remove(file, error);
        },
        [out, item, visible](Updater& self) { self.staged(item, visible, out->refused, out->bundle); });
}

void Updater::staged(const FeedItem& item, bool visible, const std::string& refused, const std::string& bundle) {
    if (!refused.empty()) {
        setState(State::idle);
        return fail(refused, visible);
    }
    ready_ = item;
    stagedRoot_ = stagingPath(s_.bundle, "staged");
    stagedBundle_ = bundle;
    setState(State::ready);
    if (visible) checkForUpdates(); // the "Ready to Install" window
}

bool Updater::installOnQuit() {
    if (state_ != State::ready || !ready_) return false;
    std::error_code error;
    bool replaced = false;
    const auto installed = installOnTrial(s_.bundle, stagedBundle_, ready_->version, s_.running);
    if (installed) replaced = true;
    else g_warning("update not installed: %s", installed.reason().c_str());
    fs::remove_all(stagedRoot_, error);
    state_ = State::idle;
    ready_.reset();
    return replaced;
}

} // namespace corvane::update
