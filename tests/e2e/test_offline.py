"""The offline screen: shown when the service cannot be reached or does not answer, its colours following
the desktop's light/dark preference, Retry by key or click (a spinner while it loads). A returning network:
test_wayland."""

import time

import harness as h
import screen
from gi.repository import GLib
from harness import tearDownModule  # noqa: F401

PROBE = "/t/probe?k=offline"
GROUND = {"light": "E3E5DF", "dark": "1D221F"}
INK = {"light": "1B1F1A", "dark": "E7EAE4"}
FIR, CREAM = "2C4A3C", "F4F1EA"


def setUpModule():
    # The tests start the demo service themselves.
    h.start_session(demo=False)


def service_up(test):
    test.addCleanup(h.session().stop, h.session().start_demo())


def find_button(shot, geo):
    """(x, y, w, h) of the fir pixels in the window's lower half (the icon sits above the middle)."""
    hgt = geo["HEIGHT"]
    return shot.bounds(FIR, (geo["X"], geo["Y"] + hgt // 2, geo["WIDTH"], hgt - hgt // 2))


def button_face(shot, button):
    """(width, height) of what is drawn on the Retry button inside its round ends: its label or spinner."""
    bx, by, bw, bh = button
    face = shot.bounds(FIR, (bx + bh // 2, by + 3, bw - bh // 2 * 2, bh - 6), same=False)
    return face[2:] if face else (0, 0)


def offline_screen(scheme, timeout=20):
    """Waits for the screen in the given scheme; returns (shot, content geometry, button rect)."""
    win = h.window_geometry()
    shot = screen.wait_for(lambda s: s.at(win["X"] + 10, win["Y"] + win["HEIGHT"] - 10) == GROUND[scheme]
                           and find_button(s, win) is not None, timeout=timeout)
    x, y, w, hgt = screen.content_rect(shot, GROUND[scheme], win)
    geo = {"X": x, "Y": y, "WIDTH": w, "HEIGHT": hgt}
    return shot, geo, find_button(shot, geo)


PORTAL_XML = """<node><interface name="org.freedesktop.portal.Settings">
<method name="ReadOne"><arg type="s"/><arg type="s"/><arg direction="out" type="v"/></method>
<method name="Read"><arg type="s"/><arg type="s"/><arg direction="out" type="v"/></method>
<signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
<property name="version" type="u" access="read"/>
</interface></node>"""

NM_XML = """<node><interface name="org.freedesktop.NetworkManager">
<property name="State" type="u" access="read"/><property name="Connectivity" type="u" access="read"/>
<property name="Metered" type="u" access="read"/>
</interface></node>"""


class FakePortal(h.FakeService):
    """org.freedesktop.portal.Settings answering color-scheme (1 = prefer dark)."""

    def __init__(self, scheme):
        self.scheme = scheme
        super().__init__("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", PORTAL_XML)

    def on_call(self, conn, sender, path, iface, method, params, invocation):
        if tuple(params.unpack()) != ("org.freedesktop.appearance", "color-scheme"):
            return invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")
        value = GLib.Variant("u", self.scheme)
        invocation.return_value(GLib.Variant("(v)", (value if method == "ReadOne" else GLib.Variant("v", value),)))

    def get(self, *_):
        return GLib.Variant("u", 2)

    def set(self, scheme):
        self.scheme = scheme
        self.emit(self.iface, "SettingChanged",
                  GLib.Variant("(ssv)", ("org.freedesktop.appearance", "color-scheme", GLib.Variant("u", scheme))))


class FakeNetworkManager(h.FakeService):
    """Just the properties GIO's NetworkManager monitor reads, on the private system bus; starts down."""

    def __init__(self):
        self.up = False
        super().__init__("org.freedesktop.NetworkManager", "/org/freedesktop/NetworkManager", NM_XML, system=True)

    def props(self):
        # Connected globally with full connectivity, or disconnected with none.
        return {"State": 70 if self.up else 20, "Connectivity": 4 if self.up else 1, "Metered": 4}

    def get(self, conn, sender, path, iface, prop):
        return GLib.Variant("u", self.props()[prop])

    def come_up(self):
        self.up = True
        changed = {k: GLib.Variant("u", v) for k, v in self.props().items()}
        self.emit("org.freedesktop.DBus.Properties", "PropertiesChanged",
                  GLib.Variant("(sa{sv}as)", (self.iface, changed, [])))


class Offline(h.E2ETestCase):
    def assert_screen(self, shot, geo, button, scheme):
        bx, by, bw, bh = button
        middle = geo["X"] + geo["WIDTH"] // 2
        self.assertLessEqual(abs(bx + bw // 2 - middle), 1, "button centred")
        self.assertGreater(shot.count(CREAM, button), 20, "cream label on the button")
        # Everything outside the stack is ground: below the button, and between strip and icon.
        x, w = geo["X"], geo["WIDTH"]
        below = (x, by + bh + 8, w, geo["Y"] + geo["HEIGHT"] - (by + bh + 8))
        self.assertEqual(shot.off_pixels(GROUND[scheme], below), [], "ground below the button")
        stack_top = by + bh - 400  # the stack is about 340 px tall
        above = (x, geo["Y"] + screen.STRIP + 4, w, stack_top - (geo["Y"] + screen.STRIP + 4))
        self.assertEqual(shot.off_pixels(GROUND[scheme], above), [], "ground above the stack")
        # Heading text in ink, between the top of the stack and the button, in two lines.
        text = (middle - 240, stack_top, 480, by - stack_top)
        self.assertGreater(shot.count(INK[scheme], text), 150, f"{scheme} heading ink")
        other = "light" if scheme == "dark" else "dark"
        self.assertEqual(shot.count(INK[other], text), 0, f"no {other} heading ink")
        # The app's icon above the heading (its own green, not the button's).
        self.assertGreater(shot.count(screen.ICON, (middle - 48, stack_top, 96, by - stack_top)), 2000, "icon drawn")

    def test_refused_connection_shows_the_screen_and_return_retries(self):
        h.launch_app(PROBE)
        shot, geo, button = offline_screen("light")
        self.assert_screen(shot, geo, button, "light")
        self.assertTrue(h.current_app().alive())

        # The strip's menus stay reachable over the screen, and closing one leaves Return on Retry.
        under_menu = (geo["X"] + 80, geo["Y"] + screen.STRIP + 8, 160, 80)
        h.click(94, 19)
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], under_menu) != [], timeout=5)
        h.key("Escape")
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], under_menu) == [], timeout=5)

        service_up(self)
        h.key("Return")
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        # The page shows through: no more button, and keys go to the page.
        screen.wait_for(lambda s: find_button(s, geo) is None, timeout=5)
        h.key("x")
        h.wait_for_report(event="key", key="x")
        self.assertEqual(len(h.requests_seen(dest="document")), 1)

    def test_retry_while_still_offline_shows_a_spinner_until_the_load_fails(self):
        h.launch_app(PROBE)
        idle, geo, button = offline_screen("light")
        label = button_face(idle, button)
        self.assertGreater(label[0], 28, "the word Retry on the button")
        bx, by, bw, bh = button
        # Return again after a retry: the button has its keyboard focus back.
        for press in ("Return", "Return", "click"):
            with self.subTest(press=press):
                t0 = time.monotonic()
                if press == "click":
                    h.click(bx - geo["X"] + bw // 2, by - geo["Y"] + bh // 2)
                else:
                    h.key(press)
                # The label gives way to a spinner, small and square, on the same button.
                busy = screen.wait_for(lambda s: find_button(s, geo) == button and
                                       0 < button_face(s, button)[0] <= 22 and button_face(s, button)[1] >= 12,
                                       timeout=3)
                self.assertLess(busy.t - t0, 1.0)
                back = screen.wait_for(lambda s: button_face(s, button) == label and find_button(s, geo) == button,
                                       timeout=5)
                self.assertGreater(back.t - t0, 0.6, "the spinner was too short to see")

    def test_dark_desktop_live_switches_and_a_dark_page_after_retry(self):
        portal = FakePortal(1)
        self.addCleanup(portal.close)
        h.launch_app(PROBE)
        self.assert_screen(*offline_screen("dark"), "dark")
        portal.set(0)
        self.assert_screen(*offline_screen("light", timeout=5), "light")
        portal.set(1)
        shot, geo, button = offline_screen("dark", timeout=5)

        service_up(self)
        bx, by, bw, bh = button
        h.click(bx - geo["X"] + bw // 2, by - geo["Y"] + bh // 2)
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        # The page's own ground, from its prefers-color-scheme, fills the lower half.
        lower = (geo["X"], geo["Y"] + geo["HEIGHT"] // 2, geo["WIDTH"], geo["HEIGHT"] // 2)
        screen.wait_for(lambda s: s.off_pixels(GROUND["dark"], lower) == [], timeout=5)
        # And follows a later switch by itself.
        portal.set(2)
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], lower) == [], timeout=5)

    def test_a_server_that_drops_resets_or_never_answers_is_offline(self):
        service_up(self)
        # (path, seconds the app waits for an answer): the time-out is shortened for the test.
        for path, timeout in [("/t/drop", 60), ("/t/drop?how=reset", 60), ("/t/hang", 3)]:
            with self.subTest(path=path):
                h.launch_app(path, env={"CORVANE_LOAD_TIMEOUT_MS": str(timeout * 1000)})
                try:  # killed whatever happens: the next launch would hand its page to this one
                    h.wait_for_request(path=path, timeout=15)
                    started = time.monotonic()
                    offline_screen("light", timeout=timeout + 10)
                    if timeout < 60:
                        self.assertGreater(time.monotonic() - started, timeout - 1.0)
                finally:
                    h.kill_app()
