"""The app as a native Wayland client: a headless weston with no keyboard or pointer and no X display at
all. A walk through start, badge, notice, sign-in, maximised and full screen, quit and the next launch,
and an offline start; GTK and GDK say nothing in the log. What needs real input stays with X11."""

import re
from urllib.parse import quote

import harness as h
import screen
from harness import tearDownModule  # noqa: F401
from test_offline import FakeNetworkManager, find_button, service_up

PROBE = "/t/probe?k=wayland"
INK = bytes.fromhex("1B1F1A")  # a test page's text
WHOLE = {"X": 0, "Y": 0, "WIDTH": h.SCREEN[0], "HEIGHT": h.SCREEN[1]}
COMPLAINT = re.compile(r"^.*\b(Gtk|Gdk|Gsk|Adwaita|GLib-GObject)-(CRITICAL|WARNING)\b.*$", re.M)


def spans(shot, *rows):
    """The window's ground across each of these rows of the output: the window covers them."""
    return all(shot.count(screen.GROUND, (0, y, h.SCREEN[0], 1)) > 1000 for y in rows)


def ink_top(shot):
    """The first row of the output with a test page's text on it (a few pixels of its ink)."""
    stride = h.SCREEN[0] * 3
    for y in range(h.SCREEN[1]):
        row, found, i = shot.data[y * stride:(y + 1) * stride], 0, -1
        while (i := row.find(INK, i + 1)) != -1:
            found += i % 3 == 0
            if found > 2:
                return y
    return h.SCREEN[1]


def full_screen(shot, maximised_top):
    """The window covers the output without its strip: the first ink is no longer the strip's menu titles
    (at maximised_top) but the page's heading below. (Weston 14 draws its panel over a full-screen window,
    weston 10 under it, so the output's top rows cannot tell.)"""
    return spans(shot, 40, h.SCREEN[1] - 3) and ink_top(shot) > maximised_top + 10


SERVER = None


def setUpModule():
    global SERVER
    # The tests start the demo service themselves.
    h.start_session(demo=False, wayland=True)
    SERVER = h.NotificationServer()


class Wayland(h.E2ETestCase):
    def assert_quiet(self, app):
        self.assertEqual([m.group(0) for m in COMPLAINT.finditer(app.log())], [])

    def test_start_badge_notice_sign_in_window_states_and_quit(self):
        service_up(self)
        back = f"{PROBE}&from=notice"
        # The start page leaves routes to the app: a notice's click loads its page.
        start = f"{PROBE}&sub=menu&badge=4&notify={quote('Hoof trim due')}&url={quote(back)}"
        mark = len(SERVER.calls)
        app = h.launch_app(start)
        loaded = h.wait_for_report(event="loaded", page=start, top=True, timeout=20)
        self.assertEqual(loaded["bridge"], {"present": True, "platform": "linux", "version": "1.0.0"})
        # Revealed and drawn through the compositor: the page's own text, not just the window's ground.
        shot = screen.wait_for(lambda s: s.data.count(INK) > 200, timeout=5)
        self.assertFalse(spans(shot, 2, h.SCREEN[1] - 3), "a new window fills the output")
        h.wait_for_badge(count=4, visible=True)

        notice = h.expect(lambda: SERVER.calls[mark:], "notice")[0]
        self.assertEqual((notice["summary"], notice["actions"]), ("Hoof trim due", ["default", ""]))
        SERVER.invoke_action(notice["id"])
        h.wait_for_report(event="loaded", page=back, top=True)

        # A second launch, as a Wayland launcher starts it, hands on its link and its activation token.
        again = app.run_again(["corvane-desktop://auth?code=x"], env={"XDG_ACTIVATION_TOKEN": "wayland-token"})
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(h.wait_for_report(event="auth")["url"], "corvane-desktop://auth?code=x")

        # Maximised, then full screen, by the desktop's menu: the compositor's answer is what is kept.
        h.activate_action("maximize")
        shot = screen.wait_for(lambda s: spans(s, 40, h.SCREEN[1] - 3) and not spans(s, 2)
                               and ink_top(s) < h.SCREEN[1], 5)
        top = ink_top(shot)
        h.expect(lambda: h.saved("CorvaneMain.maximized") == "true", "maximised state saved")
        h.activate_action("toggle-full-screen")
        screen.wait_for(lambda s: full_screen(s, top), 5)
        h.expect(lambda: h.saved("wasFullScreen") == "true", "full screen saved")

        code, _ = h.quit_app()
        self.assertEqual(code, 0)
        self.assertFalse(h.wait_for_report(event="pagehide", page=back)["persisted"])
        self.assertEqual((h.saved("lastPath"), h.saved("wasFullScreen"), h.saved("CorvaneMain.maximized")),
                         (back, "true", "true"))
        self.assert_quiet(app)

        # The next launch is full screen again, and maximised once it leaves it.
        app = h.launch_app(home=app.home)
        h.wait_for_report(event="loaded", page=back, timeout=20)
        screen.wait_for(lambda s: full_screen(s, top), 10)
        h.activate_action("toggle-full-screen")
        screen.wait_for(lambda s: spans(s, 40, h.SCREEN[1] - 3) and not spans(s, 2) and ink_top(s) <= top + 5, 5)
        self.assertEqual(h.quit_app()[0], 0)
        self.assertEqual((h.saved("wasFullScreen"), h.saved("CorvaneMain.maximized")), ("false", "true"))
        self.assert_quiet(app)

    def test_offline_start_and_a_returning_network(self):
        nm = FakeNetworkManager()
        self.addCleanup(nm.close)
        app = h.launch_app(PROBE, env={"GIO_USE_NETWORK_MONITOR": "networkmanager"})
        # The button can be drawn a frame before the heading's text is: wait for the whole screen.
        screen.wait_for(lambda s: find_button(s, WHOLE) is not None and s.data.count(INK) > 150, timeout=20)
        service_up(self)
        nm.come_up()
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        screen.wait_for(lambda s: find_button(s, WHOLE) is None, timeout=5)
        code, _ = h.quit_app()
        self.assertEqual(code, 0)
        self.assert_quiet(app)
