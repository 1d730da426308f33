#pragma once

// A scripted platform: every port call is recorded in one log, and time moves only when a test says so.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "AppDelegate.hpp"
#include "BuildConfig.hpp"

namespace corvane::shell::testing {

struct Log {
    std::vector<std::string> calls;
    void add(std::string call) { calls.push_back(std::move(call)); }
    // Calls that start with `prefix`, in order.
    std::vector<std::string> with(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.starts_with(prefix)) out.push_back(c);
        return out;
    }
    long index(const std::string& call) const {
        auto it = std::find(calls.begin(), calls.end(), call);
        return it == calls.end() ? -1 : it - calls.begin();
    }
};

// Every fake writes to the rig's one log.
struct Logged {
    explicit Logged(Log& log) : log_(log) {}
    Log& log_;
};

class FakeClock : public Clock {
public:
    std::chrono::steady_clock::time_point now() override { return now_; }
    TimerId schedule(std::chrono::milliseconds delay, std::function<void()> task) override {
        timers_[++next_] = {now_ + delay, std::move(task)};
        return next_;
    }
    void cancel(TimerId timer) override { timers_.erase(timer); }
    // Runs every task that falls due, in time order.
    void advance(std::chrono::milliseconds by) {
        const auto until = now_ + by;
        for (;;) {
            auto due = std::min_element(timers_.begin(), timers_.end(),
                                        [](auto& a, auto& b) { return a.second.at < b.second.at; });
            if (due == timers_.end() || due->second.at > until) break;
            now_ = due->second.at;
            auto task = std::move(due->second.task);
            timers_.erase(due);
            task();
        }
        now_ = until;
    }

private:
    struct Timer {
        std::chrono::steady_clock::time_point at;
        std::function<void()> task;
    };
    std::chrono::steady_clock::time_point now_{};
    TimerId next_ = 0;
    std::map<TimerId, Timer> timers_;
};

class FakeSettings : public SettingsStore, Logged {
public:
    using Logged::Logged;
    std::map<std::string, std::string, std::less<>> strings;
    std::map<std::string, bool, std::less<>> booleans;
    std::map<std::string, int, std::less<>> integers;
    std::map<std::string, bool, std::less<>> defaults;

    std::optional<std::string> string(std::string_view key) override {
        auto it = strings.find(key);
        return it == strings.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<bool> boolean(std::string_view key) override {
        if (auto it = booleans.find(key); it != booleans.end()) return it->second;
        if (auto it = defaults.find(key); it != defaults.end()) return it->second;
        return std::nullopt;
    }
    void setString(std::string_view key, std::string_view value) override {
        strings[std::string(key)] = value;
        log_.add("settings.set " + std::string(key) + "=" + std::string(value));
    }
    void setBoolean(std::string_view key, bool value) override {
        booleans[std::string(key)] = value;
        log_.add("settings.set " + std::string(key) + "=" + (value ? "true" : "false"));
    }
    std::optional<int> integer(std::string_view key) override {
        auto it = integers.find(key);
        return it == integers.end() ? std::nullopt : std::optional(it->second);
    }
    void setInteger(std::string_view key, int value) override {
        integers[std::string(key)] = value;
        log_.add("settings.set " + std::string(key) + "=" + std::to_string(value));
    }
    void registerDefaults(const std::map<std::string, bool, std::less<>>& d) override {
        defaults.insert(d.begin(), d.end());
        log_.add("settings.registerDefaults");
    }
};

class FakeWebView : public WebView, Logged {
public:
    using Logged::Logged;
    std::optional<std::string> url;
    std::vector<std::function<void()>> pendingScripts; // completions the test releases

    void load(const core::Url& u) override { log_.add("web.load " + std::string(u.text())); }
    void reload() override { log_.add("web.reload"); }
    std::optional<std::string> back; // the page one step back
    void stopLoading() override { log_.add("web.stop"); }
    bool goBack() override {
        log_.add("web.goBack");
        return back.has_value();
    }
    std::optional<std::string> backURL() override { return back; }
    std::optional<std::string> currentURL() override { return url; }
    std::optional<std::string> pageTitle;
    std::optional<std::string> title() override { return pageTitle; }
    void evaluate(const std::string& script, std::function<void()> done) override {
        log_.add("web.evaluate " + script);
        pendingScripts.push_back(std::move(done));
    }
    void reveal() override { log_.add("web.reveal"); }
    void focus() override { log_.add("web.focus"); }
    double zoomFactor = 1.0;
    double zoom() override { return zoomFactor; }
    void setZoom(double factor) override {
        zoomFactor = factor;
        log_.add("web.setZoom");
    }
    // Completes the oldest script still running in the page.
    void completeScript() {
        auto done = std::move(pendingScripts.front());
        pendingScripts.erase(pendingScripts.begin());
        done();
    }
};

class FakeWindow : public MainWindow, Logged {
public:
    using Logged::Logged;
    bool visible = false, fullScreen = false;
    void restoreFrame(const std::string& name) override { log_.add("window.restoreFrame " + name); }
    void present() override {
        visible = true;
        log_.add("window.present");
    }
    bool isVisible() override { return visible; }
    void toggleFullScreen() override {
        fullScreen = !fullScreen;
        log_.add("window.toggleFullScreen");
    }
    bool isFullScreen() override { return fullScreen; }
    void showOffline() override { log_.add("window.showOffline"); }
    void removeOffline() override { log_.add("window.removeOffline"); }
};

class FakeDesktop : public Desktop, Logged {
public:
    explicit FakeDesktop(Log& log) : Logged(log), web(log), window(log) {}
    FakeWebView web;
    FakeWindow window;
    WebViewSpec spec;

    WebView& createWebView(const WebViewSpec& s) override {
        spec = s;
        log_.add("desktop.createWebView " + s.handlerName);
        return web;
    }
    MainWindow& createMainWindow(const WindowSpec& s, WebView&) override {
        log_.add("desktop.createMainWindow " + s.title + " " + std::to_string(s.width) + "x" +
                 std::to_string(s.height) + " min " + std::to_string(s.minWidth) + "x" + std::to_string(s.minHeight));
        return window;
    }
    void setBadge(const std::optional<std::string>& label) override {
        log_.add("desktop.setBadge " + label.value_or("(none)"));
    }
    void openExternal(const core::Url& url) override { log_.add("desktop.openExternal " + std::string(url.text())); }
    void activate() override { log_.add("desktop.activate"); }
    void replyToTerminate() override { log_.add("desktop.replyToTerminate"); }
};

class FakeUpdater : public Updater, Logged {
public:
    using Logged::Logged;
    bool canCheck = true;
    bool canCheckForUpdates() const override { return canCheck; }
    void checkForUpdates() override { log_.add("updater.checkForUpdates"); }
};

class FakeServices : public Services, Logged {
public:
    using Logged::Logged;
    Updater* updater = nullptr; // none: a package-managed copy
    Updater* startUpdater() override {
        log_.add("services.startUpdater");
        return updater;
    }
    void installMenuBar(const std::vector<core::Menu>& menus) override {
        log_.add("services.installMenuBar " + std::to_string(menus.size()));
    }
    void startNetworkMonitor() override { log_.add("services.startNetworkMonitor"); }
};

class FakeNotifications : public NotificationCenter, Logged {
public:
    using Logged::Logged;
    bool granted = true;
    std::vector<NoticeRequest> added;
    int uuids = 0;
    void setUp(std::string_view category, const std::vector<core::Notice::Action>& actions) override {
        log_.add("notifications.setUp " + std::string(category) + " " + std::to_string(actions.size()));
    }
    void requestAuthorization(std::function<void(bool)> answer) override { answer(granted); }
    void add(const NoticeRequest& request) override {
        added.push_back(request);
        log_.add("notifications.add " + request.identifier);
    }
    std::string newIdentifier() override { return "UUID-" + std::to_string(++uuids); }
};

// Each panel waits for the test to close it.
class FakePanels : public Panels, Logged {
public:
    using Logged::Logged;
    std::function<void(std::optional<std::string>)> save;
    std::function<void(std::optional<std::vector<std::string>>)> open;
    std::function<void(int, std::string)> alert;
    AlertSpec lastAlert;
    std::function<void()> print;

    void chooseSaveLocation(const std::string& name, const std::optional<std::string>& folder,
                            std::function<void(std::optional<std::string>)> done) override {
        log_.add("panels.save " + name + (folder ? " in " + *folder : ""));
        save = std::move(done);
    }
    void chooseFiles(bool multiple, bool directories,
                     std::function<void(std::optional<std::vector<std::string>>)> done) override {
        log_.add(std::string("panels.open") + (multiple ? " multiple" : "") + (directories ? " directories" : ""));
        open = std::move(done);
    }
    void showAlert(const AlertSpec& spec, std::function<void(int, std::string)> done) override {
        log_.add("panels.alert " + spec.message);
        lastAlert = spec;
        alert = std::move(done);
    }
    void printPage(const std::string& jobTitle, std::function<void()> done) override {
        log_.add("panels.print " + jobTitle);
        print = std::move(done);
    }
};

// Files as a set of paths; only changes are logged.
class FakeFiles : public Files, Logged {
public:
    using Logged::Logged;
    std::set<std::string> paths;
    std::map<std::string, std::set<std::string>> attributes;
    std::set<std::string> failing; // trash or copy of these fails
    std::optional<bool> readOnly = false;

    void add(const std::string& root, const std::vector<std::string>& below, const std::string& mark = "") {
        paths.insert(root);
        for (const auto& b : below) {
            paths.insert(root + "/" + b);
            if (!mark.empty()) attributes[root + "/" + b].insert(mark);
        }
    }
    std::vector<std::string> under(const std::string& root) const {
        std::vector<std::string> out;
        for (const auto& p : paths)
            if (p.starts_with(root + "/")) out.push_back(p.substr(root.size() + 1));
        return out;
    }
    bool exists(const std::string& path) override { return paths.contains(path); }
    bool trash(const std::string& path) override {
        log_.add("files.trash " + path);
        if (failing.contains(path) || !paths.contains(path)) return false;
        for (const auto& b : under(path)) paths.erase(path + "/" + b);
        paths.erase(path);
        return true;
    }
    bool copyTree(const std::string& from, const std::string& to) override {
        log_.add("files.copy " + from + " " + to);
        if (failing.contains(to) || !paths.contains(from)) return false;
        paths.insert(to);
        for (const auto& b : under(from)) {
            paths.insert(to + "/" + b);
            if (attributes.contains(from + "/" + b)) attributes[to + "/" + b] = attributes[from + "/" + b];
        }
        return true;
    }
    std::vector<std::string> listBelow(const std::string& path) override { return under(path); }
    bool hasAttribute(const std::string& path, const std::string& name) override {
        return attributes.contains(path) && attributes[path].contains(name);
    }
    void removeAttribute(const std::string& path, const std::string& name) override {
        log_.add("files.removeAttribute " + path + " " + name);
        attributes[path].erase(name);
    }
    std::optional<bool> isReadOnlyMount(const std::string&) override { return readOnly; }
};

// A bundle in ann's download folder unless told otherwise; alerts answer from a script.
class FakeBundle : public Bundle, Logged {
public:
    using Logged::Logged;
    std::string path;
    std::string home = "/home/ann";
    std::vector<LaunchAlertAnswer> answers; // one per alert, in order; then -1
    std::vector<LaunchAlert> alerts;
    std::vector<std::string> copies;
    std::vector<std::string> spawned;

    std::string bundlePath() override { return path; }
    std::string homePath() override { return home; }
    core::Placement::Places places() override {
        return core::Placement::Places::forLinux("ann", {home + "/Downloads", home + "/Desktop"}, home);
    }
    LaunchAlertAnswer runLaunchAlert(const LaunchAlert& alert) override {
        log_.add("bundle.alert " + alert.message);
        alerts.push_back(alert);
        if (answers.empty()) return {};
        auto answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::vector<std::string> runningCopies() override { return copies; }
    void activateCopy(const std::string& p) override { log_.add("bundle.activateCopy " + p); }
    void bundleMoved(const std::string& p) override { log_.add("bundle.moved " + p); }
    long processId() override { return 4242; }
    void spawnDetached(const std::vector<std::string>& argv) override {
        log_.add("bundle.spawn");
        spawned = argv;
    }
    void terminate() override { log_.add("bundle.terminate"); }
};

// The delegate wired to a fresh fake platform.
struct Rig {
    Log log;
    FakeClock clock;
    FakeSettings settings{log};
    FakeDesktop desktop{log};
    FakeServices services{log};
    FakeNotifications notifications{log};
    FakePanels panels{log};
    FakeFiles files{log};
    FakeBundle bundle{log};
    AppDelegate app{Ports{desktop, settings, clock, services, notifications, panels, files, bundle}, "1.4.2"};

    void launch() { app.applicationDidFinishLaunching(); }
};

inline const std::string base(core::build::baseURL);

// Launched and revealed, with a clean log.
struct Launched : Rig {
    Launched() {
        launch();
        clock.advance(std::chrono::seconds(3));
        log.calls.clear();
    }
    void post(nlohmann::json body, bool mainFrame = true, std::string origin = base, bool current = true) {
        app.didReceiveScriptMessage({std::move(body), mainFrame, std::move(origin), current});
    }
};

} // namespace corvane::shell::testing
