"""The one window: closing hides it, a second launch brings it back, full screen is remembered; a crashed
web process reloads the page."""

import os
import signal
import time

import harness as h
import xwm
from harness import setUpModule, tearDownModule  # noqa: F401


def stored_full_screen():
    return h.read_settings().get("Corvane", {}).get("wasFullScreen")


class Window(h.E2ETestCase):
    def test_close_hides_and_a_second_launch_brings_the_same_page_back(self):
        app = h.launch_app("/t/probe?k=reopen", loaded=True)
        wid, mark = app.window_id(), h.report_count()
        # What a window manager sends for the close button or Alt+F4.
        xwm.send_close_request(h.session().display, wid)
        self.assertTrue(h.poll(lambda: not h.windows(), 5), "window still shown")
        time.sleep(0.5)
        self.assertTrue(app.alive(), "closing the window quit the app")

        for shown_before in (False, True):
            with self.subTest(shown_before=shown_before):
                self.assertEqual(app.run_again([]).returncode, 0)
                self.assertTrue(h.poll(lambda: h.windows() == [wid], 5), f"windows now: {h.windows()}")
        time.sleep(0.5)
        self.assertEqual(h.reports(since=mark, event="loaded"), [], "the page was loaded again")
        self.assertEqual(len(h.requests_seen(dest="document")), 1)

    def test_full_screen_is_restored_at_launch_and_recorded_on_changes(self):
        with xwm.FullScreenManager(h.session().display) as wm:
            full = {"X": 0, "Y": 0, "WIDTH": wm.screen[0], "HEIGHT": wm.screen[1]}
            geometry = lambda: {k: v for k, v in h.window_geometry().items() if k in full}
            app = h.launch_app("/t/probe?k=fs", loaded=True, wasFullScreen=True)
            self.assertTrue(h.poll(lambda: geometry() == full, 5), f"not full screen: {geometry()}")

            # Left by the desktop (a shortcut, say): recorded, and the next launch is windowed.
            wm.set_full_screen(app.window_id(), False)
            self.assertTrue(h.poll(lambda: stored_full_screen() == "false", 5), stored_full_screen())
            app.kill()
            app = h.launch_app(home=app.home)
            h.wait_for_report(event="loaded", page="/t/probe?k=fs", timeout=15)
            time.sleep(0.5)
            self.assertEqual(geometry()["HEIGHT"], 820)

            wm.set_full_screen(app.window_id(), True)
            self.assertTrue(h.poll(lambda: stored_full_screen() == "true", 5), stored_full_screen())
            app.kill()
            h.launch_app(home=app.home)
            self.assertTrue(h.poll(lambda: geometry() == full), f"not full screen: {geometry()}")

    def test_killed_web_process_reloads_the_page(self):
        path = "/t/probe?k=crash&badge=3"
        app = h.launch_app(path)
        h.wait_for_report(event="loaded", page=path, load=1, timeout=15)
        h.wait_for_badge(count=3)
        victims = app.web_process_pids()
        self.assertTrue(victims)
        badges = len(h.session().badges)
        for pid in victims:
            os.kill(pid, signal.SIGKILL)
        h.wait_for_report(event="loaded", page=path, load=2, timeout=15)
        # The new web process speaks through the bridge again.
        h.wait_for_badge(count=3, since=badges)
        self.assertTrue(set(app.web_process_pids()).isdisjoint(victims))
