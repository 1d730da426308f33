"""The one window: closing hides it, a second launch brings it back, full screen is remembered; a crashed
web process reloads the page."""

import os
import signal
import time
import unittest

import harness as h
import xwm
from harness import setUpModule, tearDownModule  # noqa: F401


def visible_windows(app):
    return h.session().xdotool("search", "--onlyvisible", "--pid", app.pid, check=False).stdout.split()


def settings(path, **more):
    return {"Corvane": {"lastPath": path, **more}}


class Window(h.E2ETestCase):
    def test_close_hides_and_a_second_launch_brings_the_same_page_back(self):
        path = "/t/probe?k=reopen"
        app = h.launch_app(settings=settings(path))
        h.wait_for_report(event="loaded", page=path, timeout=15)
        wid = app.window_id()
        mark = h.report_count()

        # What a window manager sends for the close button or Alt+F4.
        xwm.send_close_request(h.session().display, wid)
        self.assertTrue(h._poll(lambda: not visible_windows(app), 5), "window still shown")
        time.sleep(0.5)
        self.assertTrue(app.alive(), "closing the window quit the app")

        for shown_before in (False, True):
            with self.subTest(shown_before=shown_before):
                self.assertEqual(app.run_again([]).returncode, 0)
                self.assertTrue(h._poll(lambda: visible_windows(app) == [str(wid)], 5),
                                f"windows now: {visible_windows(app)}")
        time.sleep(0.5)
        self.assertEqual(h.reports(since=mark, event="loaded"), [], "the page was loaded again")
        self.assertEqual(len(h.requests_seen(dest="document")), 1)

    def test_full_screen_is_restored_at_launch_and_recorded_on_changes(self):
        path = "/t/probe?k=fs"
        with xwm.FullScreenManager(h.session().display) as wm:
            full = {"X": 0, "Y": 0, "WIDTH": wm.screen[0], "HEIGHT": wm.screen[1]}

            def geometry():
                return {k: v for k, v in h.window_geometry().items() if k in full}

            def full_screen():
                return geometry() == full

            def stored():
                return h.read_settings().get("Corvane", {}).get("wasFullScreen")

            app = h.launch_app(settings=settings(path, wasFullScreen=True))
            h.wait_for_report(event="loaded", page=path, timeout=15)
            self.assertTrue(h._poll(full_screen, 5), f"not full screen: {geometry()}")

            # Left by the desktop (a shortcut, say): recorded, and the next launch is windowed.
            wm.set_full_screen(app.window_id(), False)
            self.assertTrue(h._poll(lambda: stored() == "false", 5), f"stored {stored()}")
            home = app.home
            app.kill()
            app = h.launch_app(home=home)
            h.wait_for_report(event="loaded", page=path, since=h.report_count(), timeout=15)
            time.sleep(0.5)
            self.assertEqual(geometry()["HEIGHT"], 820)

            wm.set_full_screen(app.window_id(), True)
            self.assertTrue(h._poll(lambda: stored() == "true", 5), f"stored {stored()}")
            app.kill()
            h.launch_app(home=home)
            self.assertTrue(h._poll(full_screen, 10), f"not full screen: {geometry()}")


class Crash(h.E2ETestCase):
    def test_killed_web_process_reloads_the_page(self):
        path = "/t/probe?k=crash&badge=3"
        app = h.launch_app(settings=settings(path))
        h.wait_for_report(event="loaded", page=path, load=1, timeout=15)
        h.wait_for_badge(count=3)
        victims = app.web_process_pids()
        self.assertTrue(victims)
        badge_mark = len(h.badge_updates(None))
        for pid in victims:
            os.kill(pid, signal.SIGKILL)
        h.wait_for_report(event="loaded", page=path, load=2, timeout=15)
        # The new web process speaks through the bridge again.
        h.wait_for_badge(count=3, since=badge_mark)
        self.assertTrue(set(app.web_process_pids()).isdisjoint(victims))


if __name__ == "__main__":
    unittest.main()
