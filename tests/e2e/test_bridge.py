"""Page messages: who may speak, the launcher badge, and opening the sign-in page outside."""

import time
from urllib.parse import quote, urlencode

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401

MAX_STALL = 0.4  # seconds a hostile post may hold up what the page does next


class Badge(h.E2ETestCase):
    def test_badge_follows_set_badge(self):
        h.launch_app("/t/probe?k=badge&badge=7,999,1000,0&gap=300")
        h.wait_for_badge(count=0, visible=False, timeout=15)
        got = [(u["count"], u["visible"]) for u in h.badge_updates()]
        # "999+" goes out as the first count past 999, since launchers show numbers only.
        self.assertEqual(got, [(7, True), (999, True), (1000, True), (0, False)])


class Senders(h.E2ETestCase):
    def test_only_the_trusted_main_frame_is_heard(self):
        # new Array(10).fill(new Array(100000)), five times: one array of holes behind ten references.
        flood = "expand=10,100000&times=5&badge=3"
        # (path, badge the post sets, badge the page sets once the post is done)
        for path, badge, own in [("/t/post?n=5", 5, None), ("/t/post-frame?frame=same&n=6", None, None),
                                 ("/t/post-frame?frame=cross&n=9", None, None),
                                 (f"/t/post-frame?frame=cross&{flood}", None, 3), (f"/t/post?{flood}", None, 3)]:
            with self.subTest(path=path):
                h.launch_app(path)
                try:  # killed whatever happens: the next launch would hand its page to this one
                    posted = h.wait_for_report(event="posted", timeout=15)
                    self.assertTrue(posted["ok"])
                    if own is not None:
                        # Neither the web process (the posting call) nor the UI process (the badge after it) stalls.
                        set_at = h.wait_for_report(event="setBadge", timeout=15)["at"] / 1000  # the page's clock
                        shown = h.wait_for_badge(count=own, visible=True, timeout=30)
                        self.assertLess(posted["ms"], MAX_STALL * 1000)
                        self.assertLess(shown["t"] - set_at, MAX_STALL)
                        self.assertEqual(len(h.badge_updates()), 1)
                    elif badge is None:
                        time.sleep(h.GRACE)
                        self.assertEqual(h.badge_updates(), [])
                    else:
                        h.wait_for_badge(count=badge, visible=True)
                finally:
                    h.kill_app()

    def test_untrusted_page_never_gets_to_the_top_level(self):
        # A link to an app page that redirects to an outside page that posts: the one route left once
        # links, new windows and script navigation all hand outside pages on.
        outside = f"{h.OUTSIDE_URL}/t/post?n=4"
        h.launch_app("/t/links?" + urlencode({"click": "to", "to": "/t/redirect?to=" + quote(outside, safe="")}))
        h.wait_for_opened_uri(outside, timeout=15)
        time.sleep(h.GRACE)
        self.assertEqual(h.reports(origin=h.OUTSIDE_PORT), [])
        self.assertEqual(h.badge_updates(), [])


class OpenExternal(h.E2ETestCase):
    def test_only_the_sign_in_start_is_opened(self):
        # The sign-in path on another site; the rest of the rule: BridgeDispatch.SenderCheckThenEffects.
        lookalike = f"{h.OUTSIDE_URL}/api/auth/google-start"
        h.launch_app("/t/external?" + urlencode([("auto", "other0,signin"), ("url", lookalike)]))
        h.wait_for_opened_uri(h.SIGNIN_START, timeout=15)
        time.sleep(h.GRACE / 2)
        self.assertEqual(len(h.reports(event="openExternal")), 2)
        self.assertEqual(h.opened_uris(), [h.SIGNIN_START])

