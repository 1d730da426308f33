"""The one window under a real window manager, handled as a person does: its buttons, dragging and
double-clicking the strip, the window menu, F11; a second launch brings a minimised window back and closing
hides it; full screen is remembered; a crashed web process reloads the page."""

import os
import signal
import time
from urllib.parse import quote

import harness as h
import screen
from harness import tearDownModule  # noqa: F401

setUpModule = h.setUpModuleWithWindowManager

PAGE = "7B2D8E"
PAINT = f"/t/paint?bg={PAGE}"
MAXIMIZED = {"MAXIMIZED_VERT", "MAXIMIZED_HORZ"}


def strip():
    """(x, y, w) of the strip on screen: the 28 rows right above the page."""
    geo = h.window_geometry()
    mx, my = geo["X"] + geo["WIDTH"] // 2, geo["Y"] + geo["HEIGHT"] // 2
    shot = screen.wait_for(lambda s: s.at(mx, my) == PAGE, 5)
    top = next(y for y in range(geo["Y"], my) if shot.at(mx, y) == PAGE)
    left = next(x for x in range(geo["X"], mx) if shot.at(x, my) == PAGE)
    right = next(x for x in range(geo["X"] + geo["WIDTH"] - 1, mx, -1) if shot.at(x, my) == PAGE)
    return left, top - screen.STRIP, right - left + 1


def buttons():
    """Screen x of the window buttons' middles, left to right (minimise, maximise, close): the runs of
    ink-dark columns in the strip's right end."""
    x, y, w = strip()
    shot = screen.grab()
    dark = [c for c in range(x + w - 160, x + w)
            if any(int(shot.at(c, r)[:2], 16) < 0x60 for r in range(y + 6, y + screen.STRIP - 6))]
    runs = []
    for c in dark:
        if runs and c - runs[-1][-1] <= 3:
            runs[-1].append(c)
        else:
            runs.append([c])
    assert len(runs) == 3, f"window buttons not found: {runs}"
    return [(r[0] + r[-1]) // 2 for r in runs], y + screen.STRIP // 2


def state_becomes(test, want, without=()):
    got = h.poll(lambda: (lambda s: want <= s and not s & set(without) and s)(h.wm_state()), 5)
    test.assertTrue(got, f"window state {h.wm_state()}, wanted {want} without {set(without)}")


def size():
    geo = h.window_geometry()
    return geo["WIDTH"], geo["HEIGHT"]


def page_fills_screen(shot):
    return shot.off_pixels(PAGE, (0, 0, *h.SCREEN)) == []


def strip_shown_at_top(shot):
    strip = screen.STRIP
    return shot.count(screen.GROUND, (0, 0, 1280, strip)) > 1280 * strip * 0.8 and shot.row_is(strip, PAGE, 0, 1280)


def frame():
    return tuple(h.saved(f"CorvaneMain.{k}") for k in ("width", "height", "maximized"))


def quit_by_keys():
    """Ctrl+Q at once, and the app's exit status."""
    app = h.current_app()
    h.key("ctrl+q")
    try:
        return app.proc.wait(10)
    finally:
        app.kill()


class Window(h.E2ETestCase):
    def test_window_buttons_by_click(self):
        app = h.launch_app(PAINT, loaded=True)
        wid, mark = app.window_id(), h.report_count()
        # Docks match the window to the desktop entry by its class (the entry's side: test_bundle).
        self.assertEqual(h.run("xprop", "-id", wid, "WM_CLASS").split("=")[1].strip(), f'"Corvane", "{h.APP_ID}"')
        normal = size()
        (minimise, maximise, close), middle = buttons()

        h.pointer(maximise, middle, "click", 1)
        state_becomes(self, MAXIMIZED)
        self.assertTrue(h.poll(lambda: size() == h.SCREEN, 5), size())
        (_, restore, _), middle = buttons()
        h.pointer(restore, middle, "click", 1)
        state_becomes(self, set(), without=MAXIMIZED)
        self.assertTrue(h.poll(lambda: size() == normal, 5), size())

        (minimise, _, close), middle = buttons()
        h.pointer(minimise, middle, "click", 1)
        state_becomes(self, {"HIDDEN"})
        self.assertEqual(h.windows(), [])
        # Opening the app again brings the window back.
        self.assertEqual(app.run_again([]).returncode, 0)
        state_becomes(self, set(), without={"HIDDEN"})

        (_, _, close), middle = buttons()
        h.pointer(close, middle, "click", 1)
        self.assertTrue(h.poll(lambda: not h.windows(), 5), "window still shown")
        time.sleep(0.5)
        self.assertTrue(app.alive(), "closing the window quit the app")
        self.assertEqual(h.reports(since=mark, event="loaded"), [], "the page was loaded again")

    def test_strip_drags_double_clicks_and_opens_the_window_menu(self):
        h.launch_app(PAINT, loaded=True)
        x, y, w = strip()
        grip = (x + w // 2, y + screen.STRIP // 2)
        start = h.window_geometry()

        # A click alone leaves the window where it is; a press and drag moves it with the pointer.
        h.pointer(*grip, "click", 1)
        time.sleep(0.5)
        self.assertEqual(h.window_geometry(), start)
        h.pointer(*grip, "mousedown", 1, "mousemove_relative", "--", 10, 5, "mousemove_relative", "--", 110, 65,
                  "sleep", 0.3, "mouseup", 1)
        moved = h.poll(lambda: (lambda g: g["X"] == start["X"] + 120 and g["Y"] == start["Y"] + 70 and g)(
            h.window_geometry()), 5)
        self.assertTrue(moved, f"window at {h.window_geometry()}, from {start}")

        # Double-click toggles maximise (the desktop's default), and back to where it was.
        for want, without in ((MAXIMIZED, ()), (set(), MAXIMIZED)):
            time.sleep(0.6)  # past the double-click time: two double-clicks in a row count as four clicks
            x, y, w = strip()
            h.pointer(x + w // 2, y + screen.STRIP // 2, "click", "--repeat", 2, "--delay", 80, 1)
            state_becomes(self, want, without)
        # Back to its size and height; the window manager may pull it back on screen sideways.
        self.assertTrue(h.poll(lambda: (size(), h.window_geometry()["Y"]) == ((1280, 820), moved["Y"]), 5),
                        h.window_geometry())

        # Right-click: the window manager's window menu, whose first item minimises.
        before = set(h.run("xwininfo", "-root", "-children").splitlines())
        x, y, w = strip()
        h.pointer(x + w // 2, y + screen.STRIP // 2, "click", 3)
        menu = h.expect(lambda: [line for line in set(h.run("xwininfo", "-root", "-children").splitlines()) - before
                                 if '"metacity"' in line and "+" in line], "window menu", 5)
        h.run("xdotool", "key", "Down", "Return")
        state_becomes(self, {"HIDDEN"})
        self.assertTrue(menu)

    def test_f11_and_the_menu_switch_full_screen_and_the_strip_hides_in_it(self):
        def leave_by_menu():
            h.pointer(640, 300)
            h.pointer(640, 0)
            screen.wait_for(strip_shown_at_top, 5)
            h.pointer(173, screen.STRIP // 2, "click", 1)
            h.expect(lambda: screen.grab().count("FFFFFF", (150, screen.STRIP, 170, 140)) > 3000, "View menu", 5)
            h.run("xdotool", "key", "Down", "Down", "Down", "Return")

        h.launch_app(PAINT, loaded=True, wasFullScreen=True)
        state_becomes(self, {"FULLSCREEN"})
        self.assertTrue(h.poll(lambda: size() == h.SCREEN, 5))
        # The page has the whole screen: no strip, no window buttons.
        h.pointer(640, 450)
        screen.wait_for(page_fills_screen, 5)
        # The strip slides in at the top edge and away again below it.
        h.pointer(640, 0)
        screen.wait_for(strip_shown_at_top, 5)
        h.pointer(640, 450)
        screen.wait_for(page_fills_screen, 5)

        h.key("F11")
        state_becomes(self, set(), without={"FULLSCREEN"})
        self.assertTrue(h.poll(lambda: h.saved("wasFullScreen") == "false", 5), h.saved("wasFullScreen"))
        h.key("F11")
        state_becomes(self, {"FULLSCREEN"})
        self.assertTrue(h.poll(lambda: h.saved("wasFullScreen") == "true", 5), h.saved("wasFullScreen"))
        leave_by_menu()
        state_becomes(self, set(), without={"FULLSCREEN"})
        self.assertTrue(h.poll(lambda: size() == (1280, 820), 5), size())
        strip()  # back above the page

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

    def test_a_resize_right_before_quitting_is_kept(self):
        app = h.launch_app(PAINT, loaded=True)
        h.run("xdotool", "windowsize", app.window_id(), 1100, 700)
        self.assertTrue(h.poll(lambda: size() == (1100, 700), 5), size())
        self.assertEqual(quit_by_keys(), 0)
        self.assertEqual(frame(), ("1100", "700", "false"))
        h.launch_app(home=app.home)
        self.assertTrue(h.poll(lambda: size() == (1100, 700), 5), size())

    def test_a_maximised_session_keeps_the_normal_size_for_later(self):
        app = h.launch_app(PAINT, loaded=True)
        h.run("xdotool", "windowsize", app.window_id(), 1100, 700)
        self.assertTrue(h.poll(lambda: size() == (1100, 700), 5), size())
        (_, maximise, _), middle = buttons()
        h.pointer(maximise, middle, "click", 1)
        state_becomes(self, MAXIMIZED)
        self.assertTrue(h.poll(lambda: frame() == ("1100", "700", "true"), 5), frame())
        self.assertEqual(quit_by_keys(), 0)

        # A whole session maximised, and restored only in the next one.
        for restored in (False, True):
            h.launch_app(home=app.home)
            h.wait_for_report(event="loaded", page=PAINT, top=True, timeout=20)
            state_becomes(self, MAXIMIZED)
            self.assertTrue(h.poll(lambda: size() == h.SCREEN, 5), size())
            if restored:
                (_, restore, _), middle = buttons()
                h.pointer(restore, middle, "click", 1)
                state_becomes(self, set(), without=MAXIMIZED)
                self.assertTrue(h.poll(lambda: size() == (1100, 700), 5), size())
            self.assertEqual(quit_by_keys(), 0)
            self.assertEqual(frame(), ("1100", "700", "false" if restored else "true"))

    def test_full_screen_strip_offers_leaving_full_screen_instead_of_maximise(self):
        h.launch_app(PAINT, loaded=True, wasFullScreen=True)
        state_becomes(self, {"FULLSCREEN"})
        h.pointer(640, 450)
        screen.wait_for(page_fills_screen, 5)
        h.pointer(640, 0)
        screen.wait_for(strip_shown_at_top, 5)
        (leave, minimise, close), middle = buttons()
        self.assertLess(leave, minimise)
        h.pointer(leave, middle, "click", 1)
        state_becomes(self, set(), without={"FULLSCREEN"} | MAXIMIZED)
        self.assertTrue(h.poll(lambda: size() == (1280, 820), 5), size())
        self.assertTrue(h.poll(lambda: h.saved("wasFullScreen") == "false", 5), h.saved("wasFullScreen"))
        # Out of full screen the usual three buttons are back, maximise in the middle.
        (_, maximise, _), middle = buttons()
        h.pointer(maximise, middle, "click", 1)
        state_becomes(self, MAXIMIZED)

    def test_keys_and_side_buttons_go_back_and_forward_through_the_pages(self):
        second = "/t/landed?from=nav"
        first = "/t/nav?once=1&to=" + quote(second, safe="")
        app = h.launch_app(first, loaded=True)
        h.wait_for_report(event="loaded", page=second, timeout=15)
        geo = h.window_geometry()
        centre = (geo["X"] + geo["WIDTH"] // 2, geo["Y"] + geo["HEIGHT"] // 2)

        def key(name):
            return lambda: h.key(name)

        def button(number):
            return lambda: h.pointer(*centre, "click", number)

        for back, forward in ((key("alt+Left"), key("alt+Right")), (button(8), button(9)),
                              (key("XF86Back"), key("XF86Forward"))):
            for go, to in ((back, first), (forward, second)):
                mark = h.report_count()
                go()
                h.wait_for_report(event="loaded", page=to, since=mark, timeout=10)
                # At either end of the history there is nowhere further to go.
                mark = h.report_count()
                go()
                h.assert_no_report(event="loaded", within=h.GRACE, since=mark)
        self.assertTrue(app.alive())
