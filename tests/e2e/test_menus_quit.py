"""Menu commands, zoom and links by the menus and keys a person uses; sign-in returns through the URL
scheme; quitting and the next launch."""
import time

import harness as h
from harness import tearDownModule  # noqa: F401

setUpModule = h.setUpModuleWithWindowManager

PROBE = "/t/probe?k=menus"


class Menus(h.E2ETestCase):
    def setUp(self):
        super().setUp()
        h.launch_app(PROBE, loaded=True)

    def test_commands_reach_the_page_by_menu_mnemonic_and_accelerator(self):
        # Alt+F opens File with its first row chosen: New Animal.
        h.open_menu("alt+f")
        h.key("Return")
        h.wait_for_report(event="menu", cmd="new-animal")
        # The app menu by the pointer: its title, then Settings… (under About; this build has no updater).
        h.open_menu(at=(40, 19))
        h.run("xdotool", "key", "Down", "Return")
        h.wait_for_report(event="menu", cmd="settings")
        h.key("ctrl+comma")
        h.expect(lambda: len(h.reports(event="menu", cmd="settings")) == 2, "second settings command", 5)
        self.assertEqual(len(h.reports(event="menu")), 3)

    def test_keypad_zoom_keys_stop_at_the_smallest_and_reset(self):
        def width_after(*keys):
            since = h.report_count()
            for key in keys:
                h.key(key)
            time.sleep(0.6)
            return h.reports(event="resize", since=since)[-1]["width"]

        smallest = width_after(*["ctrl+KP_Subtract"] * 6)  # 0.9 … 0.6, then held at 0.6
        self.assertAlmostEqual(smallest / width_after("ctrl+KP_0"), 1 / 0.6, delta=0.02)

    def test_link_item_goes_to_the_default_handler(self):
        h.open_menu("alt+h")
        h.key("Down", "Return")  # Privacy Policy, under the support e-mail
        h.wait_for_opened_uri(f"{h.BASE_URL}/privacy")
        self.assertEqual(h.opened_uris(), [f"{h.BASE_URL}/privacy"])

    def test_sign_in_return_reaches_a_listening_page_and_others_do_nothing(self):
        app = h.current_app()
        leader = h.run("xprop", "-id", app.window_id(), "WM_CLIENT_LEADER").split("#")[-1].strip()

        def startup_id():
            return h.run("xprop", "-id", leader, "_NET_STARTUP_ID", check=False).partition("=")[2].strip()

        # Each launch hands on its launcher's token, from a Wayland or an X11 launcher.
        again = app.run_again(["corvane-desktop://auth?code=x"], env={"XDG_ACTIVATION_TOKEN": "wl-token_TIME1"})
        self.assertEqual(again.returncode, 0)
        self.assertEqual(h.wait_for_report(event="auth")["url"], "corvane-desktop://auth?code=x")
        self.assertEqual(startup_id(), '"wl-token_TIME1"')
        since = h.report_count()
        app.run_again(["corvane-desktop://login?code=y"], env={"DESKTOP_STARTUP_ID": "x-token_TIME2"})
        h.assert_no_report(event="auth", since=since, within=1.5)
        self.assertEqual(startup_id(), '"x-token_TIME2"')


class Launches(h.E2ETestCase):
    def test_sign_in_return_before_the_page_listens_is_delivered_on_subscription(self):
        h.launch_app(PROBE, args=["corvane-desktop://auth?code=early"])
        self.assertEqual(h.wait_for_report(event="auth", timeout=20)["url"], "corvane-desktop://auth?code=early")

    def test_pagehide_then_exit_and_the_next_launch_returns(self):
        h.launch_app(PROBE, loaded=True)
        code, seconds = h.quit_app(via="menu")
        self.assertEqual(code, 0)
        self.assertFalse(h.wait_for_report(event="pagehide", page=PROBE)["persisted"])
        self.assertLess(seconds, 1.4)  # 0.3 s after the page answered, not the 1.5 s limit
        saved = h.read_settings()["Corvane"]
        self.assertEqual((saved["lastPath"], saved["wasFullScreen"]), (PROBE, "false"))
        h.launch_app(home=h.current_app().home)
        h.wait_for_report(event="loaded", page=PROBE, timeout=20)

    def test_a_blocked_page_cannot_hold_the_app(self):
        h.launch_app("/t/block?on=load&ms=8000")
        h.wait_for_report(event="blocking", timeout=20)
        time.sleep(0.2)
        code, seconds = h.quit_app(via="signal")  # as the session would
        self.assertEqual(code, 0)
        self.assertGreater(seconds, 1.3)
        self.assertLess(seconds, 3.0)
