#include <gtest/gtest.h>

#include "FakePlatform.hpp"

using namespace corvane;
using namespace corvane::shell;
using namespace corvane::shell::testing;
using namespace std::chrono_literals;

namespace {

struct Notifying : Launched {
    void notify(nlohmann::json body) {
        body["type"] = "notify";
        post(std::move(body));
    }
};

} // namespace

TEST(Notices, CategoryIdentifierAndRefusal) {
    Notifying rig;
    rig.notify({{"title", "Check Bramble"}, {"url", "/care?follow_up=k9"}, {"tag", "k9"}});
    rig.notify({{"title", "Fed"}, {"url", "/farm"}});
    rig.notify({{"title", "Plain"}});
    ASSERT_EQ(rig.notifications.added.size(), 3u);
    const auto& followUp = rig.notifications.added[0];
    EXPECT_EQ(followUp.identifier, "k9");
    EXPECT_EQ(followUp.category, std::optional<std::string>("follow_up"));
    EXPECT_EQ(followUp.thread, "corvane");
    EXPECT_EQ(rig.notifications.added[1].category, std::nullopt);
    EXPECT_EQ(rig.notifications.added[1].identifier, "UUID-1");
    EXPECT_EQ(rig.notifications.added[2].identifier, "UUID-2");
    EXPECT_EQ(rig.notifications.added[2].url, "");
    EXPECT_EQ(rig.notifications.added[2].body, "");

    rig.notifications.granted = false;
    rig.notify({{"title", "Dropped"}});
    EXPECT_EQ(rig.notifications.added.size(), 3u);
}

TEST(Notices, ABurstOfFiveThenTwentyAMinuteAndATagReplacesWithoutCounting) {
    Notifying rig;
    const auto added = [&] { return rig.notifications.added.size(); };
    for (int i = 0; i < 8; ++i) rig.notify({{"title", "Fed"}});
    EXPECT_EQ(added(), 5u);
    rig.clock.advance(2999ms);
    rig.notify({{"title", "Fed"}});
    EXPECT_EQ(added(), 5u);
    rig.clock.advance(1ms);
    rig.notify({{"title", "Fed"}});
    rig.notify({{"title", "Fed"}});
    EXPECT_EQ(added(), 6u);
    for (int second = 0; second < 60; ++second) {
        rig.clock.advance(1s);
        rig.notify({{"title", "Fed"}});
    }
    EXPECT_EQ(added(), 26u);

    rig.clock.advance(15s);
    for (int i = 0; i < 6; ++i) rig.notify({{"title", "Check Bramble"}, {"tag", "k9"}});
    EXPECT_EQ(added(), 32u); // one counted, five replacing it
    for (int i = 0; i < 5; ++i) rig.notify({{"title", "Fed"}});
    EXPECT_EQ(added(), 36u); // the four the burst had left
    // Replacing in a loop is held to one a second.
    for (int i = 0; i < 100; ++i) rig.notify({{"title", "Check Bramble"}, {"tag", "k9"}});
    rig.clock.advance(1s);
    rig.notify({{"title", "Check Bramble"}, {"tag", "k9"}});
    EXPECT_EQ(added(), 37u);
    EXPECT_EQ(rig.notifications.added.back().identifier, "k9");
}

TEST(Notices, ClicksRouteIntoTheApp) {
    struct {
        std::optional<std::string> url, action;
        std::string path;
    } cases[] = {
        {"/care?follow_up=k9", "no_better", "/care?follow_up=k9&answer=no_better"},
        {"/care?follow_up=k9", std::nullopt, "/care?follow_up=k9"},
        {"/care?follow_up=k9", "Better", "/care?follow_up=k9"},
        {std::nullopt, std::nullopt, "/care"},
        {"https://outside.example/x", "better", "/care"},
    };
    for (const auto& c : cases) {
        Launched rig;
        rig.app.didReceiveNotificationResponse(c.url, c.action);
        EXPECT_EQ(rig.log.calls,
                  (std::vector<std::string>{"window.present", "desktop.activate", "web.load " + base + c.path}));
    }
}

TEST(Offline, ScreenOnceRetryTargetsAndPathWatch) {
    Launched rig;
    rig.app.pathDidUpdate(false); // first report: never retries
    rig.app.pathDidUpdate(true);
    rig.app.retry(); // no failure yet: the start URL
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"web.load " + base + "/farm"});

    rig.log.calls.clear();
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1009, base + "/records?id=7"});
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1004, std::nullopt}); // no URL anywhere: keeps it
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"window.showOffline"});
    rig.app.pathDidUpdate(true); // already up: nothing
    rig.app.pathDidUpdate(false);
    rig.app.pathDidUpdate(false);
    rig.app.pathDidUpdate(true); // one retry per return
    rig.app.pathDidUpdate(true);
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"window.showOffline", "web.load " + base + "/records?id=7"}));

    rig.app.didCommitNavigation(base + "/records?id=7");
    rig.log.calls.clear();
    rig.app.pathDidUpdate(false);
    rig.app.pathDidUpdate(true); // screen gone: no load
    EXPECT_TRUE(rig.log.calls.empty());
}

TEST(Printing, TitleAndOneAfterprintPerPrint) {
    Launched rig;
    const nlohmann::json print{{"type", "print"}};
    rig.app.didReceiveScriptMessage({print, true, base, true});
    rig.desktop.web.pageTitle = "";
    rig.app.didReceiveScriptMessage({print, true, base, true});
    EXPECT_EQ(rig.log.with("panels.print"), (std::vector<std::string>{"panels.print Corvane", "panels.print "}));
    rig.panels.print();
    EXPECT_EQ(rig.log.with("web.evaluate"),
              std::vector<std::string>{"web.evaluate window.dispatchEvent(new Event('afterprint')); 1"});
}

TEST(PageDialogs, ResultsAndPanels) {
    Launched rig;
    const std::string origin = "https://app.corvane.example";
    std::vector<std::string> results;
    rig.app.runConfirm(origin, "Delete?", [&](bool ok) { results.push_back(ok ? "true" : "false"); });
    EXPECT_EQ(rig.panels.lastAlert.buttons, (std::vector<std::string>{"OK", "Cancel"}));
    EXPECT_EQ(rig.panels.lastAlert.heading, origin);
    rig.panels.alert(0, "");
    rig.app.runConfirm(origin, "Delete?", [&](bool ok) { results.push_back(ok ? "true" : "false"); });
    rig.panels.alert(-1, ""); // Escape
    rig.app.runPrompt(origin, "Name?", "abc",
                      [&](std::optional<std::string> t) { results.push_back(t ? "'" + *t + "'" : "null"); });
    EXPECT_EQ(rig.panels.lastAlert.defaultText, std::optional<std::string>("abc"));
    rig.panels.alert(0, "");
    rig.app.runPrompt(origin, "Name?", std::nullopt,
                      [&](std::optional<std::string> t) { results.push_back(t ? *t : "null"); });
    EXPECT_EQ(rig.panels.lastAlert.defaultText, std::optional<std::string>(""));
    rig.panels.alert(1, "typed");
    bool alerted = false;
    rig.app.runAlert("", "Saved", [&] { alerted = true; });
    EXPECT_FALSE(alerted); // returns only once the dialog is closed
    EXPECT_EQ(rig.panels.lastAlert.heading, "");
    rig.panels.alert(0, "");
    EXPECT_TRUE(alerted);
    EXPECT_EQ(results, (std::vector<std::string>{"true", "false", "''", "null"}));

    rig.app.runOpenPanel(true, false, [](auto) {});
    EXPECT_EQ(rig.log.with("panels."),
              (std::vector<std::string>{"panels.alert Delete?", "panels.alert Delete?", "panels.alert Name?",
                                        "panels.alert Name?", "panels.alert Saved", "panels.open multiple"}));
}

TEST(Downloads, TheSaveDialogOpensWhereTheLastSaveWent) {
    Launched rig;
    std::vector<std::optional<std::string>> saved;
    auto keep = [&](std::optional<std::string> p) { saved.push_back(p); };
    // First download: the desktop's own folder; a cancel remembers nothing.
    rig.app.decideDownloadDestination("herd.csv", keep);
    rig.panels.save(std::nullopt);
    rig.app.decideDownloadDestination("herd.csv", keep);
    rig.panels.save("/home/ann/Farm exports/herd.csv");
    rig.app.decideDownloadDestination("Käse €.csv", keep);
    rig.panels.save("/home/ann/Käse €.csv");
    rig.app.decideDownloadDestination("x.pdf", keep);
    rig.panels.save("/x.pdf");
    rig.app.decideDownloadDestination("y.pdf", keep);
    rig.panels.save("/home/ann/\xff\xfe/y.pdf");
    rig.app.decideDownloadDestination("z.pdf", keep);
    EXPECT_EQ(saved,
              (std::vector<std::optional<std::string>>{std::nullopt, "/home/ann/Farm exports/herd.csv",
                                                       "/home/ann/Käse €.csv", "/x.pdf", "/home/ann/\xff\xfe/y.pdf"}));
    EXPECT_EQ(rig.log.with("panels.save"),
              (std::vector<std::string>{
                  "panels.save herd.csv", "panels.save herd.csv", "panels.save Käse €.csv in /home/ann/Farm exports",
                  "panels.save x.pdf in /home/ann", "panels.save y.pdf in /", "panels.save z.pdf in /"}));
    EXPECT_EQ(rig.settings.string("lastDownloadFolder"), std::optional<std::string>("/"));
}

TEST(PageDialogs, MediaOnlyForTheTrustedMainFrame) {
    Launched rig;
    EXPECT_TRUE(rig.app.decideMediaCapture(base, true));
    EXPECT_FALSE(rig.app.decideMediaCapture(base, false));
    EXPECT_FALSE(rig.app.decideMediaCapture("https://outside.example", true));
    EXPECT_FALSE(rig.app.decideMediaCapture("null", true));
    EXPECT_TRUE(rig.app.mayAskForCredentials(base));
    EXPECT_FALSE(rig.app.mayAskForCredentials("https://outside.example"));
}
