#include <gtest/gtest.h>

#include "FakePlatform.hpp"

using namespace corvane;
using namespace corvane::shell;
using namespace corvane::shell::testing;
using namespace std::chrono_literals;


TEST(Launch, RunsInOrder) {
    Rig rig;
    rig.launch();
    const std::vector<std::string> expected{
        "services.offerMove",
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
    EXPECT_NE(rig.desktop.spec.userScript.find("platform: \"linux\","), std::string::npos); // the page runs on Linux
    EXPECT_EQ(rig.settings.boolean("WebContinuousSpellCheckingEnabled"), true);
}

TEST(Launch, MoveToApplicationsEndsTheLaunch) {
    Rig rig;
    rig.services.moveAnswer = true;
    rig.launch();
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"services.offerMove"});
    rig.clock.advance(10s);
    EXPECT_EQ(rig.log.calls.size(), 1u);
}

TEST(Launch, StoredPathPassesTheGateOrIsIgnored) {
    struct { const char* stored; std::string loads; } cases[] = {
        {"/records?id=7", base + "/records?id=7"},
        {"/", base + "/"},
        {"//elsewhere.example/x", base + "/farm"},
        {"/a b", base + "/farm"},
        {"/a\\b", base + "/farm"},
        {"records", base + "/farm"},
        {"https://evil.example/x", base + "/farm"},
    };
    for (const auto& c : cases) {
        Rig rig;
        rig.settings.strings["lastPath"] = c.stored;
        rig.launch();
        EXPECT_EQ(rig.log.with("web.load"), std::vector<std::string>{"web.load " + c.loads}) << c.stored;
    }
    Rig longPath;
    longPath.settings.strings["lastPath"] = "/" + std::string(512, 'a');
    longPath.launch();
    EXPECT_EQ(longPath.log.with("web.load"), std::vector<std::string>{"web.load " + base + "/farm"});
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
