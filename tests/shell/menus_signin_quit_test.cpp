#include <set>

#include <gtest/gtest.h>

#include "FakePlatform.hpp"
#include "MenuBar.hpp"
#include "Offline.hpp"

using namespace corvane;
using namespace corvane::shell;
using namespace corvane::shell::testing;
using namespace std::chrono_literals;

namespace {
std::string repeat(const std::string& unit, int n) {
    std::string s;
    while (n-- > 0) s += unit;
    return s;
}
} // namespace

TEST(Menus, ZoomStepsArePlainDoubleSumsClamped) {
    Launched rig;
    std::vector<double> out;
    for (int i = 0; i < 6; ++i) {
        rig.app.zoomAction(-1);
        out.push_back(rig.desktop.web.zoomFactor);
    }
    EXPECT_EQ(out, (std::vector<double>{0.9, 0.8, 0.7000000000000001, 0.6000000000000001, 0.6, 0.6}));
    rig.app.zoomAction(0);
    EXPECT_EQ(rig.desktop.web.zoomFactor, 1.0);
    out.clear();
    for (int i = 0; i < 11; ++i) {
        rig.app.zoomAction(1);
        out.push_back(rig.desktop.web.zoomFactor);
    }
    EXPECT_EQ(out[1], 1.2000000000000002);
    EXPECT_EQ(out[8], 1.9000000000000008);
    EXPECT_EQ(out[9], 2.0);
    EXPECT_EQ(out[10], 2.0);
}

TEST(Menus, CheckForUpdatesReachesTheUpdaterOnlyWhileACheckCanStart) {
    Launched none;
    none.app.checkForUpdates();
    EXPECT_FALSE(none.app.canCheckForUpdates());
    EXPECT_TRUE(none.log.calls.empty());

    Rig rig;
    FakeUpdater updater(rig.log);
    rig.services.updater = &updater;
    rig.launch();
    EXPECT_TRUE(rig.app.canCheckForUpdates());
    updater.canCheck = false; // checking or downloading
    EXPECT_FALSE(rig.app.canCheckForUpdates());
    rig.app.checkForUpdates();
    EXPECT_EQ(rig.log.with("updater."), std::vector<std::string>{"updater.checkForUpdates"});
}

TEST(Menus, CommandsLinksAndBar) {
    Launched rig;
    rig.app.menuCommand("settings");
    rig.app.menuCommand("Settings");
    const std::string mail = "mailto:" + std::string(core::MenuModel::supportEmail());
    rig.app.openLink(mail);
    rig.app.openLink("https://phish.example/"); // the link action is reachable over the session bus
    rig.app.openLink("not a url");
    EXPECT_EQ(rig.log.calls,
              (std::vector<std::string>{"window.present",
                                        "web.evaluate " + core::Bridge::dispatchScript(core::MenuCommand::settings),
                                        "desktop.openExternal " + mail}));

    const auto bar = MenuBar::build(core::MenuModel::build("Corvane", core::Platform::linuxDesktop), false);
    ASSERT_EQ(bar.size(), 6u);
    EXPECT_TRUE(bar[4].windowsMenu);
    EXPECT_TRUE(bar[5].helpMenu);
    std::vector<std::string> labels;
    for (const auto& menu : bar) labels.push_back(menu.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"_Corvane", "_File", "_Edit", "_View", "_Window", "_Help"}));
    // Rows with nothing behind them here are gone, and no separator is left doubled or at an end.
    auto rows = [](const MenuBar::Menu& menu) {
        std::vector<std::string> out;
        for (const auto& e : menu.entries) out.push_back(e.separator ? "---" : e.title + " " + e.accelerator);
        return out;
    };
    EXPECT_EQ(rows(bar[0]), (std::vector<std::string>{"About Corvane ", "Check for Updates\u2026 ", "---",
                                                      "Settings\u2026 <Control>comma", "---", "Hide Corvane <Control>h",
                                                      "---", "Quit Corvane <Control>q"}));
    const auto& app = bar[0].entries;
    EXPECT_FALSE(app[1].enabled); // Check for Updates… while a check runs
    // Without an updater the row would stay dead forever: it is left out, and its separator goes with it.
    EXPECT_EQ(rows(MenuBar::build(core::MenuModel::build("Corvane", core::Platform::linuxDesktop), std::nullopt)[0]),
              (std::vector<std::string>{"About Corvane ", "---", "Settings\u2026 <Control>comma", "---",
                                        "Hide Corvane <Control>h", "---", "Quit Corvane <Control>q"}));
    EXPECT_EQ(rows(bar[4])[1], "Maximize ");
    EXPECT_EQ(app[3].action, "app.menu-command");
    EXPECT_EQ(app[3].target, "settings");
    EXPECT_EQ(bar[2].entries[1].accelerator, "<Shift><Control>z");
    // Linux keys come after the row's own, which is the one shown.
    const auto& view = bar[3].entries;
    EXPECT_EQ(view[1].accelerator, "<Control>plus");
    EXPECT_EQ(view[1].extraKeys, (std::vector<std::string>{"<Control>equal", "<Control>KP_Add"}));
    EXPECT_EQ(view[2].target, "-1");
    EXPECT_EQ(view[2].extraKeys, std::vector<std::string>{"<Control>KP_Subtract"});
    EXPECT_EQ(view[0].extraKeys, std::vector<std::string>{"<Control>KP_0"});
    EXPECT_EQ(view[4].action, "app.toggle-full-screen");
    EXPECT_EQ(view[4].extraKeys, std::vector<std::string>{"F11"});
    // Each row's keys reach only its own action.
    std::set<std::string> keys;
    for (const auto& menu : bar)
        for (const auto& e : menu.entries) {
            auto all = e.extraKeys;
            if (!e.accelerator.empty()) all.push_back(e.accelerator);
            for (const auto& k : all) EXPECT_TRUE(keys.insert(k).second) << k;
        }
    EXPECT_TRUE(
        MenuBar::build(core::MenuModel::build("Corvane", core::Platform::linuxDesktop), true)[0].entries[1].enabled);
}

TEST(SignIn, ReturnsReachAListeningPageOrWaitUpTo300Seconds) {
    const std::string callback = "corvane-desktop://auth?code=";
    auto script = [&](const std::string& code) {
        return "web.evaluate " + *core::Bridge::authScript(*core::Url::parse(callback + code));
    };
    Launched rig;
    rig.app.openURLs({"corvane-desktop://login?x", "https://example.com/"});
    EXPECT_TRUE(rig.log.calls.empty()); // other URLs do not even raise the window

    rig.app.openURLs({callback + "1", callback + "2"});
    EXPECT_TRUE(rig.log.with("web.evaluate").empty());
    EXPECT_EQ(rig.log.with("window.present").size(), 2u);
    rig.clock.advance(299s);
    rig.post({{"type", "authSubscribed"}});
    rig.post({{"type", "authSubscribed"}});
    EXPECT_EQ(rig.log.with("web.evaluate"), std::vector<std::string>{script("2")}); // newest wins, once

    rig.log.calls.clear();
    rig.app.openURLs({callback + "3"}); // listening: at once
    EXPECT_EQ(rig.log.with("web.evaluate"), std::vector<std::string>{script("3")});
    EXPECT_FALSE(rig.app.hasPendingAuth());

    rig.log.calls.clear();
    rig.app.didCommitNavigation(base + "/farm");
    rig.app.openURLs({callback + "4"});
    rig.clock.advance(300s);
    rig.post({{"type", "authSubscribed"}});
    EXPECT_TRUE(rig.log.with("web.evaluate").empty()); // 300 s is too old
    EXPECT_FALSE(rig.app.hasPendingAuth());
}

TEST(Termination, PageHideThenReplyOnce) {
    // Script completes at 0.2 s: reply 0.3 s later, and never again.
    Launched quick;
    quick.desktop.web.url = base + "/farm";
    EXPECT_EQ(quick.app.applicationShouldTerminate(), TerminateReply::later);
    EXPECT_EQ(quick.log.calls, std::vector<std::string>{"web.evaluate " + std::string(core::Offline::quitScript)});
    quick.clock.advance(200ms);
    quick.desktop.web.completeScript();
    quick.clock.advance(299ms);
    EXPECT_TRUE(quick.log.with("desktop.replyToTerminate").empty());
    quick.clock.advance(1ms);
    EXPECT_EQ(quick.log.with("desktop.replyToTerminate").size(), 1u);
    quick.clock.advance(5s);
    EXPECT_EQ(quick.log.with("desktop.replyToTerminate").size(), 1u);

    // A page that never answers: reply at 1.5 s; a late completion changes nothing; a second quit is at once.
    Launched stuck;
    stuck.desktop.web.url = base + "/farm";
    EXPECT_EQ(stuck.app.applicationShouldTerminate(), TerminateReply::later);
    EXPECT_EQ(stuck.app.applicationShouldTerminate(), TerminateReply::now);
    stuck.clock.advance(1499ms);
    EXPECT_TRUE(stuck.log.with("desktop.replyToTerminate").empty());
    stuck.clock.advance(1ms);
    stuck.desktop.web.completeScript();
    stuck.clock.advance(1s);
    EXPECT_EQ(stuck.log.with("desktop.replyToTerminate").size(), 1u);

    // No URL, or the offline screen: at once, no script.
    Launched blank;
    EXPECT_EQ(blank.app.applicationShouldTerminate(), TerminateReply::now);
    Launched offline;
    offline.desktop.web.url = base + "/farm";
    offline.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1009, base + "/farm"});
    EXPECT_EQ(offline.app.applicationShouldTerminate(), TerminateReply::now);
    EXPECT_TRUE(blank.log.with("web.evaluate").empty());
    EXPECT_TRUE(offline.log.with("web.evaluate").empty());
}

TEST(Termination, SavesWhereTheUserWas) {
    struct {
        std::string url;
        std::optional<std::string> stored;
    } cases[] = {
        {base + "/records?id=7#notes", "/records?id=7"},
        {base + "/records/", "/records"},
        {base + "/r%C3%A9colte?q=a%20b", "/r%C3%A9colte?q=a%20b"},
        {base + "/", "old"},
        {base + "/welcome", "old"},
        {base + "/signin?next=x", "old"},
        {base + "/a%20b", "old"},                    // whitespace once decoded
        {base + "/" + std::string(600, 'x'), "old"}, // too long
        {base + "/" + repeat("%C3%A9", 85), "/" + repeat("%C3%A9", 85)},
        {base + "/" + repeat("%C3%A9", 100), "old"}, // 101 characters decoded, 601 as stored
        {base + "/animals?filter[species]=cow|sheep", "/animals?filter%5Bspecies%5D=cow%7Csheep"},
        {base + "/x?q=100%", "/x?q=100%25"},
        {"https://outside.example/records", "old"},
    };
    for (const auto& c : cases) {
        Launched rig;
        rig.settings.strings["lastPath"] = "old";
        rig.desktop.web.url = c.url;
        rig.desktop.window.fullScreen = true;
        rig.app.applicationWillTerminate();
        EXPECT_EQ(rig.settings.string("lastPath"), c.stored) << c.url;
        EXPECT_EQ(rig.settings.booleans["wasFullScreen"], true);
    }
}
