#include <gtest/gtest.h>

#include "FakePlatform.hpp"

using namespace corvane;
using namespace corvane::shell;
using namespace corvane::shell::testing;
using namespace std::chrono_literals;

namespace {

struct Deciding : Launched {
    // The answer given, which must come exactly once.
    std::string action(const std::string& url, TargetFrame frame, NavigationType type = NavigationType::linkActivated,
                       bool download = false, bool gesture = true) {
        return answerOf([&](PolicyHandler h) {
            app.decidePolicyForNavigationAction({url, frame, type, download, gesture}, h);
        });
    }
    std::string response(const std::string& url, bool mainFrame, bool canShow = true,
                         std::optional<std::string> disposition = std::nullopt) {
        return answerOf([&](PolicyHandler h) {
            app.decidePolicyForNavigationResponse({url, mainFrame, canShow, disposition}, h);
        });
    }

private:
    template <class F>
    std::string answerOf(F call) {
        std::vector<PolicyAnswer> answers;
        call([&](PolicyAnswer a) { answers.push_back(a); });
        EXPECT_EQ(answers.size(), 1u);
        if (answers.empty()) return "none";
        switch (answers[0]) {
            case PolicyAnswer::allow:
                return "allow";
            case PolicyAnswer::cancel:
                return "cancel";
            case PolicyAnswer::download:
                return "download";
        }
        return "?";
    }
};

} // namespace

TEST(NavigationHost, ActionsCarryOutThePolicy) {
    using T = NavigationType;
    using F = TargetFrame;
    struct {
        std::string url;
        F frame;
        T type;
        std::string answer;
        bool opened;
        bool gesture = true;
    } cases[] = {
        {base + "/records?id=7", F::main, T::linkActivated, "allow", false},
        {base + "/records?id=7", F::unknown, T::other, "allow", false},
        {"https://outside.example/x", F::main, T::linkActivated, "cancel", true},
        {"https://outside.example/x", F::main, T::other, "cancel", true},
        {"https://outside.example/x", F::main, T::formSubmitted, "cancel", false},
        {"https://outside.example/x", F::main, T::backForward, "cancel", false},
        {"https://outside.example/x", F::main, T::reload, "cancel", false},
        {"https://outside.example/x", F::sub, T::other, "allow", false},
        {"mailto:someone@example.com", F::main, T::linkActivated, "cancel", true},
        {"mailto:someone@example.com", F::unknown, T::linkActivated, "cancel", true},
        {"mailto:someone@example.com", F::unknown, T::other, "cancel", true},
        {"mailto:someone@example.com", F::unknown, T::linkActivated, "cancel", false, false}, // a frame's script
        {"tel:123", F::unknown, T::formSubmitted, "cancel", false},
        {"about:blank", F::unknown, T::other, "allow", false},           // frames need it; a main frame is sent back
        {"http://plain.example/", F::unknown, T::other, "allow", false}, // settled at the response
        {"about:blank", F::main, T::other, "cancel", false},
        {"about:blank", F::sub, T::other, "allow", false},
        {"file:///etc/hosts", F::unknown, T::linkActivated, "cancel", false},
        {"javascript:alert(1)", F::main, T::linkActivated, "cancel", false},
        {"corvane-desktop://auth?x", F::unknown, T::other, "cancel", false},
        {"not a url", F::main, T::other, "cancel", false},
    };
    for (const auto& c : cases) {
        Deciding rig;
        EXPECT_EQ(rig.action(c.url, c.frame, c.type, false, c.gesture), c.answer) << c.url;
        EXPECT_EQ(rig.log.with("desktop.openExternal").size(), c.opened ? 1u : 0u) << c.url;
    }
}

TEST(NavigationHost, DownloadsAndMissingURLs) {
    Deciding rig;
    EXPECT_EQ(rig.action("https://outside.example/f.zip", TargetFrame::main, NavigationType::linkActivated, true),
              "download");
    std::vector<PolicyAnswer> answers;
    rig.app.decidePolicyForNavigationAction({std::nullopt, TargetFrame::main, NavigationType::other, false},
                                            [&](PolicyAnswer a) { answers.push_back(a); });
    EXPECT_EQ(answers, std::vector<PolicyAnswer>{PolicyAnswer::cancel});
    EXPECT_EQ(rig.response(base + "/export.zip", true, false), "download");
    EXPECT_EQ(rig.response(base + "/farm", true, true), "allow");
    EXPECT_TRUE(rig.log.with("desktop.openExternal").empty());
}

TEST(NavigationHost, AttachmentsAreSavedWhateverTheirType) {
    struct {
        const char* disposition;
        bool canShow;
        bool mainFrame;
        const char* answer;
    } cases[] = {
        {"attachment; filename=\"herd.csv\"", true, true, "download"},
        {"Attachment; filename*=UTF-8''K%C3%A4se.json", true, true, "download"},
        {"attachment", true, false, "download"},
        {"inline; filename=\"report.pdf\"", true, true, "allow"},
        {"inline", false, true, "download"},
        {"filename=\"herd.csv\"", true, true, "allow"},
        {"", true, true, "allow"},
    };
    for (const auto& c : cases) {
        Deciding rig;
        EXPECT_EQ(rig.response(base + "/export?kind=csv", c.mainFrame, c.canShow, c.disposition), c.answer)
            << c.disposition;
        EXPECT_TRUE(rig.log.with("web.").empty()) << c.disposition; // the page stays as it was
    }

    // An outside link still goes to the browser, which saves it there.
    Deciding outside;
    outside.action("https://outside.example/x.csv", TargetFrame::unknown, NavigationType::linkActivated);
    EXPECT_EQ(outside.response("https://outside.example/x.csv", true, true, "attachment"), "cancel");
    EXPECT_EQ(outside.log.with("desktop.openExternal"),
              std::vector<std::string>{"desktop.openExternal https://outside.example/x.csv"});
}

TEST(NavigationHost, UnknownFrameIsSettledAtTheResponse) {
    // An outside https page: an iframe may load it, the main frame may not.
    Deciding sub;
    EXPECT_EQ(sub.action("https://video.example/embed/1", TargetFrame::unknown, NavigationType::other), "allow");
    EXPECT_EQ(sub.response("https://video.example/embed/1", false), "allow");
    EXPECT_TRUE(sub.log.with("desktop.openExternal").empty());

    Deciding link;
    EXPECT_EQ(link.action("https://outside.example/x", TargetFrame::unknown, NavigationType::linkActivated), "allow");
    EXPECT_EQ(link.response("https://outside.example/x", true), "cancel");
    EXPECT_EQ(link.log.with("desktop.openExternal"),
              std::vector<std::string>{"desktop.openExternal https://outside.example/x"});

    Deciding form;
    EXPECT_EQ(form.action("https://outside.example/x", TargetFrame::unknown, NavigationType::formSubmitted), "allow");
    EXPECT_EQ(form.response("https://outside.example/x", true), "cancel");
    EXPECT_TRUE(form.log.with("desktop.openExternal").empty());

    // Unreachable: the failure settles it. An outside page is handed on, not taken for the app offline.
    Deciding away;
    away.action("https://outside.example/x", TargetFrame::unknown, NavigationType::linkActivated);
    away.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1004, "https://outside.example/x"});
    away.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1004, "https://elsewhere.example/y"});
    EXPECT_EQ(away.log.calls, std::vector<std::string>{"desktop.openExternal https://outside.example/x"});
    EXPECT_FALSE(away.app.offlineShown());

    // Stopped by the engine before it left: known to be the main frame, handed on as a link or script.
    Deciding stopped;
    stopped.action("https://outside.example/a", TargetFrame::unknown, NavigationType::linkActivated);
    stopped.action("https://outside.example/b", TargetFrame::unknown, NavigationType::formSubmitted);
    for (const char* url : {"https://outside.example/a", "https://outside.example/b", "https://never.example/"})
        stopped.app.mainFrameRequestStopped(url);
    stopped.app.mainFrameRequestStopped("https://outside.example/a"); // once only
    EXPECT_EQ(stopped.log.with("desktop.openExternal"),
              std::vector<std::string>{"desktop.openExternal https://outside.example/a"});

    // http is refused in sub-frames: the iframe's response is cancelled, nothing opens.
    Deciding http;
    EXPECT_EQ(http.action("http://plain.example/", TargetFrame::unknown, NavigationType::other), "allow");
    EXPECT_EQ(http.response("http://plain.example/", false), "cancel");
    EXPECT_TRUE(http.log.with("desktop.openExternal").empty());
}

TEST(NavigationHost, NewWindowsNeverOpenASecondView) {
    Launched rig;
    rig.app.createWebViewFor({base + "/care", TargetFrame::unknown, NavigationType::other, false});
    rig.app.createWebViewFor({"https://outside.example/x", TargetFrame::unknown, NavigationType::formSubmitted, false});
    rig.app.createWebViewFor({"about:blank", TargetFrame::unknown, NavigationType::other, false});
    rig.app.createWebViewFor({std::nullopt, TargetFrame::unknown, NavigationType::other, false});
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"web.load " + base + "/care",
                                                       "desktop.openExternal https://outside.example/x"}));
}

TEST(NavigationHost, NavigateHandsPathsToAListeningPageOrLoadsThem) {
    Launched rig;
    rig.desktop.web.url = "https://outside.example/somewhere";
    rig.app.navigate("/care?follow_up=k9");
    rig.desktop.web.url = base + "/records/x";
    rig.app.navigate("care"); // not an app path
    rig.app.navigate("//elsewhere.example/x");
    rig.app.navigate("/a b");
    rig.app.navigate("/records?id=7");
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"web.load " + base + "/care?follow_up=k9",
                                                       "web.load " + base + "/records?id=7"}));
    rig.log.calls.clear();
    rig.post({{"type", "navSubscribed"}});
    rig.app.navigate("/care");
    ASSERT_EQ(rig.log.calls.size(), 1u);
    EXPECT_EQ(rig.log.calls[0], "web.evaluate " + *core::Bridge::navigateScript("/care"));
    rig.app.didCommitNavigation(base + "/farm");
    rig.app.navigate("/care");
    EXPECT_EQ(rig.log.calls.back(), "web.load " + base + "/care");
}

TEST(NavigationHost, CommitCrashAndOffline) {
    Launched rig;
    rig.post({{"type", "navSubscribed"}});
    rig.post({{"type", "authSubscribed"}});
    rig.app.webContentProcessDidTerminate();
    EXPECT_FALSE(rig.app.authListening());
    EXPECT_TRUE(rig.app.navListening());
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"web.reload"});
    rig.app.didCommitNavigation(base + "/farm");
    EXPECT_FALSE(rig.app.navListening());

    rig.log.calls.clear();
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1200, base + "/farm"}); // TLS: not offline
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -999, base + "/farm"});
    EXPECT_TRUE(rig.log.calls.empty());
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1009, base + "/farm"});
    rig.desktop.web.url = base + "/care";
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -1004, std::nullopt});
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"window.showOffline"});
    ASSERT_TRUE(rig.app.failedURL());
    EXPECT_EQ(rig.app.failedURL()->text(), base + "/care");
    rig.app.didCommitNavigation(base + "/farm");
    rig.app.didCommitNavigation(base + "/farm");
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"window.showOffline", "window.removeOffline", "web.focus"}));

    // A main frame that reached a refused page is taken back to the last app page: through the history
    // when that page is the one behind (the engine may keep it as it was), else by loading it.
    rig.log.calls.clear();
    rig.app.didCommitNavigation(base + "/records?id=7");
    rig.app.didCommitNavigation("about:blank");
    rig.app.didCommitNavigation(std::nullopt);
    rig.desktop.web.back = base + "/farm"; // location.replace() left an older page behind
    rig.app.didCommitNavigation("about:blank");
    rig.desktop.web.back = base + "/records?id=7";
    rig.app.didCommitNavigation("data:text/html,x");
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"web.load " + base + "/records?id=7",
                                                       "web.load " + base + "/records?id=7", "web.goBack"}));
}

TEST(NavigationHost, AMainFrameLoadThatNeverCommitsTimesOutAsOffline) {
    Launched rig;
    // Committed in time, failed, or followed by another load: no time-out from that load.
    rig.app.didStartProvisionalNavigation(base + "/farm");
    rig.clock.advance(59s);
    rig.app.didCommitNavigation(base + "/farm");
    rig.app.didStartProvisionalNavigation(base + "/care");
    rig.app.didFailProvisionalNavigation({"NSURLErrorDomain", -999, base + "/care"});
    rig.app.didStartProvisionalNavigation(base + "/privacy");
    rig.clock.advance(30s);
    const std::string hung = base + "/records?id=7";
    rig.app.didStartProvisionalNavigation(hung);
    rig.clock.advance(59999ms);
    EXPECT_TRUE(rig.log.calls.empty());

    rig.clock.advance(1ms);
    EXPECT_EQ(rig.log.calls, (std::vector<std::string>{"web.stop", "window.showOffline"}));
    ASSERT_TRUE(rig.app.failedURL());
    EXPECT_EQ(rig.app.failedURL()->text(), hung);
    rig.log.calls.clear();
    rig.app.retry();
    rig.clock.advance(10min);
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"web.load " + hung});
}

TEST(BridgeDispatch, SenderCheckThenEffects) {
    Launched rig;
    const nlohmann::json badge{{"type", "setBadge"}, {"n", 7}};
    rig.post(badge, false);                           // sub-frame
    rig.post(badge, true, "https://outside.example"); // untrusted page
    rig.post(badge, true, base, false);               // stale window
    rig.post(badge, true, "null");                    // opaque origin
    rig.post({{"type", "setBadge"}, {"n", -1}});      // malformed
    EXPECT_TRUE(rig.log.calls.empty());

    for (int n : {7, 0, 999, 1000, 9999}) {
        rig.post({{"type", "setBadge"}, {"n", n}});
        rig.clock.advance(0ms);
    }
    EXPECT_EQ(rig.log.calls,
              (std::vector<std::string>{"desktop.setBadge 7", "desktop.setBadge (none)", "desktop.setBadge 999",
                                        "desktop.setBadge 999+", "desktop.setBadge 999+"}));
    rig.log.calls.clear();
    // Many in one turn of the main loop: the launcher hears the last, once.
    for (int n = 1; n <= 1000; ++n) rig.post({{"type", "setBadge"}, {"n", n}});
    rig.post({{"type", "setBadge"}, {"n", 0}});
    rig.post({{"type", "setBadge"}, {"n", 12}});
    EXPECT_TRUE(rig.log.calls.empty());
    rig.clock.advance(0ms);
    rig.clock.advance(1s);
    EXPECT_EQ(rig.log.calls, std::vector<std::string>{"desktop.setBadge 12"});
    rig.log.calls.clear();
    rig.post({{"type", "openExternal"}, {"url", base + "/api/auth/google-start?next=%2Ffarm"}});
    rig.post({{"type", "openExternal"}, {"url", base + "/farm"}});
    rig.post({{"type", "openExternal"}, {"url", "https://outside.example/"}});
    EXPECT_EQ(rig.log.calls,
              std::vector<std::string>{"desktop.openExternal " + base + "/api/auth/google-start?next=%2Ffarm"});
}
