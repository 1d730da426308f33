#include <gtest/gtest.h>

#include "FakePlatform.hpp"
#include "Relaunch.hpp"

using namespace corvane;
using namespace corvane::shell;
using namespace corvane::shell::testing;
using namespace std::chrono_literals;

TEST(Launch, RunsInOrder) {
    Rig rig;
    rig.launch();
    const std::vector<std::string> expected{
        "settings.registerDefaults",
        "services.startUpdater",
        "services.installMenuBar 6",
        "desktop.createWebView cvDesktop",
        "desktop.createMainWindow Corvane 1280x820 min 900x600",
        "window.restoreFrame CorvaneMain",
        "window.present",
        "desktop.activate",
        "web.load " + base + "/farm",
        "notifications.setUp follow_up 2",
        "services.startNetworkMonitor",
    };
    EXPECT_EQ(rig.log.calls, expected);
    EXPECT_EQ(rig.desktop.spec.userScript, core::Bridge::preloadScript("1.4.2", core::Platform::linuxDesktop));
    EXPECT_EQ(rig.settings.boolean("WebContinuousSpellCheckingEnabled"), true);
}

namespace {

const std::string downloaded = "/home/ann/Downloads/Corvane";
const std::string installed = "/home/ann/Applications/Corvane";
constexpr const char* origin = "user.xdg.origin.url";
constexpr const char* referrer = "user.xdg.referrer.url";
const LaunchAlertAnswer moveAnswer{0, false};

// Launched from `path`, a bundle whose files carry the download mark.
struct Moving : Rig {
    explicit Moving(const std::string& path = downloaded) {
        bundle.path = path;
        files.add(path, {"bin", "bin/corvane", "lib", "lib/libx.so"}, origin);
        files.attributes[path + "/lib"].insert(referrer);
    }
    bool launchedWindow() const { return log.index("desktop.createMainWindow Corvane 1280x820 min 900x600") >= 0; }
};

} // namespace

TEST(MoveToApplications, MovesInOrderAndEndsTheLaunch) {
    Moving rig;
    rig.files.add(installed, {"bin", "bin/corvane"}); // an older copy
    rig.bundle.answers = {{0, true}};                 // ticking the box while moving stores nothing
    rig.launch();
    const std::vector<std::string> expected{
        "bundle.alert Move Corvane to your Applications folder?",
        "files.trash " + installed,
        "files.copy " + downloaded + " " + installed,
        "files.removeAttribute " + installed + "/bin " + origin,
        "files.removeAttribute " + installed + "/bin/corvane " + origin,
        "files.removeAttribute " + installed + "/lib " + origin,
        "files.removeAttribute " + installed + "/lib " + referrer,
        "files.removeAttribute " + installed + "/lib/libx.so " + origin,
        "files.trash " + downloaded,
        "bundle.moved " + installed,
        "bundle.spawn",
        "bundle.terminate",
    };
    EXPECT_EQ(rig.log.calls, expected);
    EXPECT_TRUE(rig.settings.booleans.empty());
    const auto& offer = rig.bundle.alerts.at(0);
    EXPECT_EQ(offer.buttons, (std::vector<std::string>{"Move to Applications", "Not Now"}));
    EXPECT_EQ(offer.checkBox, std::optional<std::string>("Don't ask again"));

    ASSERT_EQ(rig.bundle.spawned.size(), 6u);
    EXPECT_EQ(rig.bundle.spawned[0], "/bin/sh");
    EXPECT_EQ(rig.bundle.spawned[1], "-c");
    EXPECT_TRUE(rig.bundle.spawned[2].starts_with("while /bin/kill -0 4242 2>/dev/null; do")) << rig.bundle.spawned[2];
    EXPECT_EQ(relaunchCommand(7, installed).at(2).find("4242"), std::string::npos);
    EXPECT_EQ(std::vector<std::string>(rig.bundle.spawned.begin() + 3, rig.bundle.spawned.end()),
              (std::vector<std::string>{"sh", installed, ""}));

    rig.clock.advance(10s);
    EXPECT_EQ(rig.log.calls.size(), expected.size());
}

TEST(MoveToApplications, OldCopyOnAVolumeIsLeftWhenReadOnly) {
    struct {
        std::optional<bool> readOnly;
        bool trashed;
        std::string volume;
    } cases[] = {
        {true, false, "/media/ann/USB"},
        {false, false, ""}, // writable, but outside the home
        {std::nullopt, false, ""},
    };
    for (const auto& c : cases) {
        Moving rig("/media/ann/USB/Corvane");
        rig.files.readOnly = c.readOnly;
        rig.bundle.answers = {moveAnswer};
        rig.launch();
        EXPECT_EQ(rig.log.index("files.trash /media/ann/USB/Corvane") >= 0, c.trashed);
        ASSERT_EQ(rig.bundle.spawned.size(), 6u);
        EXPECT_EQ(rig.bundle.spawned[5], c.volume);
        EXPECT_EQ(rig.bundle.spawned[4], installed);
    }
}

TEST(MoveToApplications, NotNowAndNoOfferLaunchNormally) {
    struct {
        std::string path;
        std::vector<LaunchAlertAnswer> answers;
        std::optional<bool> storedBefore;
        int alerts;
        std::optional<bool> storedAfter;
    } cases[] = {
        {downloaded, {{1, false}}, std::nullopt, 1, std::nullopt},
        {downloaded, {{1, true}}, std::nullopt, 1, true},
        {downloaded, {{-1, true}}, std::nullopt, 1, true}, // closed with the box ticked
        {downloaded, {}, true, 0, true},
        {"/home/ann/Desktop/Corvane", {{1, false}}, false, 1, false},
        {installed, {moveAnswer}, std::nullopt, 0, std::nullopt},
        {"/opt/Corvane", {moveAnswer}, std::nullopt, 0, std::nullopt},
        {"", {moveAnswer}, std::nullopt, 0, std::nullopt}, // not a bundle: a build tree or a package
    };
    for (const auto& c : cases) {
        Moving rig(c.path);
        rig.bundle.answers = c.answers;
        if (c.storedBefore) rig.settings.booleans["moveToApplicationsDeclined"] = *c.storedBefore;
        rig.launch();
        EXPECT_EQ(rig.bundle.alerts.size(), static_cast<std::size_t>(c.alerts)) << c.path;
        EXPECT_EQ(rig.settings.boolean("moveToApplicationsDeclined"), c.storedAfter) << c.path;
        EXPECT_TRUE(rig.launchedWindow()) << c.path;
        EXPECT_TRUE(rig.log.with("files.").empty()) << c.path;
    }
}

TEST(MoveToApplications, FailureAlertThenLaunchFromHere) {
    for (bool trashFails : {true, false}) {
        Moving rig;
        if (trashFails) rig.files.add(installed, {"bin"}); // an older copy that cannot be trashed
        rig.files.failing.insert(installed);
        rig.bundle.answers = {moveAnswer, {0, false}};
        rig.launch();
        ASSERT_EQ(rig.bundle.alerts.size(), 2u);
        const auto& failure = rig.bundle.alerts[1];
        EXPECT_EQ(failure.message, "Corvane couldn't move itself");
        EXPECT_EQ(failure.informative,
                  "Drag Corvane into the Applications folder in your file manager instead. "
                  "It keeps working from here in the meantime.");
        EXPECT_EQ(failure.buttons, std::vector<std::string>{"OK"});
        EXPECT_EQ(failure.checkBox, std::nullopt);
        EXPECT_EQ(rig.log.with("files.copy").size(), trashFails ? 0u : 1u);
        EXPECT_TRUE(rig.files.exists(downloaded + "/bin/corvane"));
        EXPECT_TRUE(rig.log.with("bundle.spawn").empty());
        EXPECT_TRUE(rig.log.with("bundle.terminate").empty());
        EXPECT_TRUE(rig.settings.booleans.empty());
        EXPECT_TRUE(rig.launchedWindow());
    }
}

TEST(MoveToApplications, CopyRunningFromTheDestinationTakesOver) {
    Moving rig;
    rig.files.add(installed, {"bin"});
    rig.bundle.copies = {"/home/ann/Documents/Corvane", "/home/ann/Applications/./Corvane/"};
    rig.bundle.answers = {moveAnswer};
    rig.launch();
    EXPECT_EQ(rig.log.calls,
              (std::vector<std::string>{"bundle.alert Move Corvane to your Applications folder?",
                                        "bundle.activateCopy /home/ann/Applications/./Corvane/", "bundle.terminate"}));
}

// The gate's own cases are AppOrigins' (core tests and the rules table).
TEST(Launch, StoredPathPassesTheGateOrIsIgnored) {
    struct {
        const char* stored;
        std::string loads;
    } cases[] = {
        {"/records?id=7", base + "/records?id=7"},
        {"//elsewhere.example/x", base + "/farm"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.settings.strings["lastPath"] = c.stored;
        rig.launch();
        EXPECT_EQ(rig.log.with("web.load"), std::vector<std::string>{"web.load " + c.loads}) << c.stored;
    }
}

TEST(Launch, FullScreenIsRestoredAfterShowingAndMirrored) {
    Rig rig;
    rig.settings.booleans["wasFullScreen"] = true;
    rig.launch();
    EXPECT_LT(rig.log.index("window.present"), rig.log.index("window.toggleFullScreen"));
    EXPECT_LT(rig.log.index("window.toggleFullScreen"), rig.log.index("web.load " + base + "/farm"));
    rig.app.windowDidExitFullScreen();
    EXPECT_EQ(rig.settings.booleans["wasFullScreen"], false);
    rig.app.windowDidEnterFullScreen();
    EXPECT_EQ(rig.settings.booleans["wasFullScreen"], true);
}

TEST(Launch, RevealsExactlyOnce) {
    // First finish reveals; the fallback then does nothing.
    Rig early;
    early.launch();
    early.clock.advance(1s);
    early.app.didFinishNavigation();
    early.app.didFinishNavigation();
    early.clock.advance(5s);
    EXPECT_EQ(early.log.with("web.reveal").size(), 1u);

    // No finish: the fallback reveals at 2.5 s, not before; a late finish does nothing.
    Rig late;
    late.launch();
    late.clock.advance(2499ms);
    EXPECT_TRUE(late.log.with("web.reveal").empty());
    late.clock.advance(1ms);
    EXPECT_EQ(late.log.with("web.reveal").size(), 1u);
    EXPECT_TRUE(late.app.shown());
    late.app.didFinishNavigation();
    EXPECT_EQ(late.log.with("web.reveal").size(), 1u);
}

TEST(Launch, ReopenBringsTheHiddenWindowBack) {
    Rig rig;
    rig.launch();
    rig.log.calls.clear();
    EXPECT_TRUE(rig.app.applicationShouldHandleReopen(true));
    EXPECT_TRUE(rig.log.calls.empty());
    EXPECT_TRUE(rig.app.applicationShouldHandleReopen(false));
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"window.present"});
}
