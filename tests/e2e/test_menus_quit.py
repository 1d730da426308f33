"""Menu commands, zoom and links; sign-in returns through the URL scheme; quitting and the next launch."""
import time

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401

PROBE = "/t/probe?k=menus"


class Menus(h.E2ETestCase):
    def setUp(self):
        super().setUp()
        h.launch_app(PROBE, loaded=True)

    def test_commands_reach_the_page_by_action_and_accelerator(self):
        h.activate_action("menu-command", "settings")
        h.wait_for_report(event="menu", cmd="settings")
        h.key("ctrl+n")
        h.wait_for_report(event="menu", cmd="new-animal")
        h.key("ctrl+comma")
        self.assertEqual(len(h.reports(event="menu", cmd="settings")), 2)

    def test_zoom_steps_stop_at_the_limits(self):
        def width_after(step, times):
            since = h.report_count()
            for _ in range(times):
                h.activate_action("zoom", step)
            time.sleep(0.6)
            return h.reports(event="resize", since=since)[-1]["width"]

        smallest = width_after(-1, 7)   # 0.9 … 0.6, then held at 0.6
        actual = width_after(0, 1)
        largest = width_after(1, 12)    # … 2.0, then held
        self.assertAlmostEqual(smallest / actual, 1 / 0.6, delta=0.02)
        self.assertAlmostEqual(actual / largest, 2.0, delta=0.02)

    def test_link_item_goes_to_the_default_handler(self):
        h.activate_action("open-link", f"{h.BASE_URL}/privacy")
        h.wait_for_opened_uri(f"{h.BASE_URL}/privacy")

    def test_sign_in_return_reaches_a_listening_page_and_others_do_nothing(self):
        app = h.current_app()
        self.assertEqual(app.run_again(["corvane-desktop://auth?code=x"]).returncode, 0)
        self.assertEqual(h.wait_for_report(event="auth")["url"], "corvane-desktop://auth?code=x")
        since = h.report_count()
        app.run_again(["corvane-desktop://login?code=y"])
        h.assert_no_report(event="auth", since=since, within=1.5)

    def test_accelerator_quits(self):
        code, seconds = h.quit_app(via="key")
        self.assertEqual(code, 0)
        self.assertFalse(h.wait_for_report(event="pagehide", page=PROBE)["persisted"])
        self.assertLess(seconds, 1.4)
        self.assertEqual(h.read_settings()["Corvane"]["lastPath"], PROBE)


class Launches(h.E2ETestCase):
    def test_sign_in_return_before_the_page_listens_is_delivered_on_subscription(self):
        h.launch_app(PROBE, args=["corvane-desktop://auth?code=early"])
        self.assertEqual(h.wait_for_report(event="auth", timeout=20)["url"], "corvane-desktop://auth?code=early")

    def test_pagehide_then_exit_and_the_next_launch_returns(self):
        h.launch_app("/records?id=7", loaded=True)
        code, seconds = h.quit_app()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 1.4)  # 0.3 s after the page answered, not the 1.5 s limit
        saved = h.read_settings()["Corvane"]
        self.assertEqual((saved["lastPath"], saved["wasFullScreen"]), ("/records?id=7", "false"))
        h.launch_app(home=h.current_app().home)
        h.wait_for_report(event="loaded", page="/records?id=7", timeout=20)

    def test_a_blocked_page_cannot_hold_the_app(self):
        h.launch_app("/t/block?on=load&ms=8000")
        h.wait_for_report(event="blocking", timeout=20)
        time.sleep(0.2)
        code, seconds = h.quit_app(via="signal")  # as the session would
        self.assertEqual(code, 0)
        self.assertGreater(seconds, 1.3)
        self.assertLess(seconds, 3.0)
