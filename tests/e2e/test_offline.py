"""The offline screen: shown when the service cannot be reached, its colours following the desktop's
light/dark preference, Retry by key, click or a returning network, and quitting while it is up."""

import time

import harness as h
import screen
from gi.repository import Gio, GLib

PROBE = "/t/probe?k=offline"
GROUND = {"light": "E3E5DF", "dark": "1D221F"}
INK = {"light": "1B1F1A", "dark": "E7EAE4"}
FIR, CREAM = "2C4A3C", "F4F1EA"
ICON = "325243"  # the icon's ground
STRIP = 28


def setUpModule():
    # The demo service is started and stopped by the tests themselves.
    h.start_session(demo=False)


def tearDownModule():
    h.stop_session()


def service_up():
    s = h.session()
    s._start_demo()
    return s._procs[-1]


def service_down(proc):
    h._stop_process(proc)
    h.session()._procs.remove(proc)


def launch_offline(env=None):
    return h.launch_app(settings={"Corvane": {"lastPath": PROBE}}, env=env)


# ---------------------------------------------------------------- what the screen shows

def find_button(shot, geo):
    """(x, y, w, h) of the fir pixels in the window's lower half (the icon sits above the middle)."""
    x0, y0, w, hgt = geo["X"], geo["Y"], geo["WIDTH"], geo["HEIGHT"]
    fir = bytes.fromhex(FIR)
    xs, ys = [], []
    for y in range(y0 + hgt // 2, y0 + hgt):
        row = shot.data[(y * shot.width + x0) * 3:(y * shot.width + x0 + w) * 3]
        first = next((i for i in range(0, len(row), 3) if row[i:i + 3] == fir), None)
        if first is None:
            continue
        last = max(i for i in range(first, len(row), 3) if row[i:i + 3] == fir)
        xs += [x0 + first // 3, x0 + last // 3]
        ys.append(y)
    if not ys:
        return None
    return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


def count(shot, colour, rect):
    x, y, w, hgt = rect
    want = bytes.fromhex(colour)
    return sum(1 for yy in range(y, y + hgt) for xx in range(x, x + w)
               if shot.data[(yy * shot.width + xx) * 3:(yy * shot.width + xx) * 3 + 3] == want)


def offline_screen(scheme, timeout=20):
    """Waits for the screen in the given scheme; returns (shot, content geometry, button rect)."""
    win = h.window_geometry()

    def shown(shot):
        if shot.at(win["X"] + 10, win["Y"] + win["HEIGHT"] - 10) != GROUND[scheme]:
            return False
        return find_button(shot, win) is not None
    shot = screen.wait_for(shown, timeout=timeout)
    x, y, w, hgt = screen.content_rect(shot, GROUND[scheme], win)
    geo = {"X": x, "Y": y, "WIDTH": w, "HEIGHT": hgt}
    return shot, geo, find_button(shot, geo)


class ScreenChecks(h.E2ETestCase):
    def assert_screen(self, shot, geo, button, scheme):
        bx, by, bw, bh = button
        # The round ends leave the outermost columns only partly fir.
        self.assertEqual(bh, 44, "Retry button height")
        self.assertIn(bw, (166, 167, 168), "Retry button width")
        middle = geo["X"] + geo["WIDTH"] // 2
        self.assertLessEqual(abs(bx + bw // 2 - middle), 1, "button centred")
        self.assertGreater(count(shot, CREAM, button), 20, "cream label on the button")
        # Everything outside the stack is ground: below the button, and between strip and icon.
        x, w = geo["X"], geo["WIDTH"]
        below = (x, by + bh + 8, w, geo["Y"] + geo["HEIGHT"] - (by + bh + 8))
        self.assertEqual(shot.off_pixels(GROUND[scheme], below), [], "ground below the button")
        stack_top = by + bh - 400  # the stack is about 340 px tall
        above = (x, geo["Y"] + STRIP + 4, w, stack_top - (geo["Y"] + STRIP + 4))
        self.assertEqual(shot.off_pixels(GROUND[scheme], above), [], "ground above the stack")
        # Heading text in ink, between the top of the stack and the button, in two lines.
        text = (middle - 240, stack_top, 480, by - stack_top)
        self.assertGreater(count(shot, INK[scheme], text), 150, f"{scheme} heading ink")
        rows = [y for y in range(text[1], text[1] + text[3]) if count(shot, INK[scheme], (text[0], y, text[2], 1))]
        lines = 1 + sum(1 for a, b in zip(rows, rows[1:]) if b - a > 3)
        self.assertEqual(lines, 2, "heading lines")
        other = "light" if scheme == "dark" else "dark"
        self.assertEqual(count(shot, INK[other], text), 0, f"no {other} heading ink")
        # The app's icon above the heading (its own green, not the button's).
        self.assertGreater(count(shot, ICON, (middle - 48, stack_top, 96, by - stack_top)), 2000, "icon drawn")


class Offline(ScreenChecks):
    def test_refused_connection_shows_the_screen_and_return_retries(self):
        launch_offline()
        shot, geo, button = offline_screen("light")
        self.assert_screen(shot, geo, button, "light")
        self.assertTrue(h.current_app().alive())

        # The strip's menus stay reachable over the screen, and closing one leaves Return on Retry.
        under_menu = (geo["X"] + 80, geo["Y"] + STRIP + 8, 160, 80)
        h.click(94, 19)
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], under_menu) != [], timeout=5)
        h.key("Escape")
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], under_menu) == [], timeout=5)

        proc = service_up()
        self.addCleanup(service_down, proc)
        h.key("Return")
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        # The page shows through: no more button, and keys go to the page.
        screen.wait_for(lambda s: find_button(s, geo) is None, timeout=5)
        h.key("x")
        h.wait_for_report(event="key", key="x")
        self.assertEqual(len(h.requests_seen(dest="document")), 1)


# ---------------------------------------------------------------- fake portal and NetworkManager

PORTAL_XML = """
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="ReadOne">
      <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="out" type="v"/>
    </method>
    <method name="Read">
      <arg direction="in" type="s"/><arg direction="in" type="s"/><arg direction="out" type="v"/>
    </method>
    <signal name="SettingChanged"><arg type="s"/><arg type="s"/><arg type="v"/></signal>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""

NM_XML = """
<node>
  <interface name="org.freedesktop.NetworkManager">
    <property name="State" type="u" access="read"/>
    <property name="Connectivity" type="u" access="read"/>
    <property name="Metered" type="u" access="read"/>
  </interface>
</node>
"""


class FakeService:
    """An object owning a well-known name on one of the harness's private buses."""

    def __init__(self, address, name, path, xml):
        self.session = h.session()
        self.name, self.path = name, path
        bus = self.session.bus
        self.conn = bus.connect(address)
        info = Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0]
        self.iface = info.name
        self.reg = bus.call(self.conn.register_object, path, info, self._on_call, self._get, None)
        reply = bus.call(self.conn.call_sync, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "RequestName", GLib.Variant("(su)", (name, 4)),
                         GLib.VariantType.new("(u)"), Gio.DBusCallFlags.NONE, 5000, None)
        if reply.unpack()[0] != 1:
            raise h.HarnessError(f"could not own {name}")

    def close(self):
        try:
            self.session.bus.call(self.conn.unregister_object, self.reg)
            self.session.bus.call(self.conn.close_sync, None)
        except Exception:
            pass

    def emit(self, iface, signal, value):
        self.session.bus.call(self.conn.emit_signal, None, self.path, iface, signal, value)

    def _on_call(self, conn, sender, path, iface, method, params, invocation):
        invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)

    def _get(self, conn, sender, path, iface, prop):
        return None


class FakePortal(FakeService):
    """org.freedesktop.portal.Settings answering color-scheme (1 = prefer dark)."""

    def __init__(self, scheme):
        self.scheme = scheme
        super().__init__(h.session().bus_address, "org.freedesktop.portal.Desktop",
                         "/org/freedesktop/portal/desktop", PORTAL_XML)

    def _on_call(self, conn, sender, path, iface, method, params, invocation):
        ns, key = params.unpack()
        if (ns, key) != ("org.freedesktop.appearance", "color-scheme"):
            invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")
        elif method == "ReadOne":
            invocation.return_value(GLib.Variant("(v)", (GLib.Variant("u", self.scheme),)))
        else:
            invocation.return_value(GLib.Variant("(v)", (GLib.Variant("v", GLib.Variant("u", self.scheme)),)))

    def _get(self, conn, sender, path, iface, prop):
        return GLib.Variant("u", 2)

    def set(self, scheme):
        self.scheme = scheme
        self.emit(self.iface, "SettingChanged",
                  GLib.Variant("(ssv)", ("org.freedesktop.appearance", "color-scheme", GLib.Variant("u", scheme))))


class FakeNetworkManager(FakeService):
    """Just the properties GIO's NetworkManager monitor reads, on the private system bus."""

    DOWN = {"State": 20, "Connectivity": 1}   # disconnected, no connectivity
    UP = {"State": 70, "Connectivity": 4}     # connected globally, full connectivity

    def __init__(self, up):
        self.props = dict(self.UP if up else self.DOWN, Metered=4)
        super().__init__(h.session().system_bus_address, "org.freedesktop.NetworkManager",
                         "/org/freedesktop/NetworkManager", NM_XML)

    def _get(self, conn, sender, path, iface, prop):
        return GLib.Variant("u", self.props[prop])

    def set(self, up):
        self.props.update(self.UP if up else self.DOWN)
        changed = {k: GLib.Variant("u", v) for k, v in self.props.items()}
        self.emit("org.freedesktop.DBus.Properties", "PropertiesChanged",
                  GLib.Variant("(sa{sv}as)", (self.iface, changed, [])))


NM_ENV = {"GIO_USE_NETWORK_MONITOR": "networkmanager"}


class Appearance(ScreenChecks):
    def test_dark_desktop_live_switches_and_a_dark_page_after_retry(self):
        portal = FakePortal(1)
        self.addCleanup(portal.close)
        launch_offline()
        shot, geo, button = offline_screen("dark")
        self.assert_screen(shot, geo, button, "dark")

        portal.set(0)
        shot, geo, button = offline_screen("light", timeout=5)
        self.assert_screen(shot, geo, button, "light")
        portal.set(1)
        shot, geo, button = offline_screen("dark", timeout=5)

        proc = service_up()
        self.addCleanup(service_down, proc)
        bx, by, bw, bh = button
        h.click(bx - geo["X"] + bw // 2, by - geo["Y"] + bh // 2)
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        # The page's own ground, from its prefers-color-scheme, fills the lower half.
        lower = (geo["X"], geo["Y"] + geo["HEIGHT"] // 2, geo["WIDTH"], geo["HEIGHT"] // 2)
        screen.wait_for(lambda s: s.off_pixels(GROUND["dark"], lower) == [], timeout=5)
        # And follows a later switch by itself.
        portal.set(2)
        screen.wait_for(lambda s: s.off_pixels(GROUND["light"], lower) == [], timeout=5)


class Connectivity(ScreenChecks):
    def test_network_return_retries_by_itself_once(self):
        nm = FakeNetworkManager(up=False)
        self.addCleanup(nm.close)
        launch_offline(env=NM_ENV)
        offline_screen("light")

        proc = service_up()
        self.addCleanup(service_down, proc)
        time.sleep(1.0)
        self.assertEqual(h.requests_seen(dest="document"), [], "no retry while the network is down")
        nm.set(up=True)
        h.wait_for_report(event="loaded", page=PROBE, timeout=15)
        time.sleep(0.5)
        self.assertEqual(len(h.requests_seen(dest="document")), 1)

    def test_quitting_while_offline_exits_at_once(self):
        launch_offline()
        offline_screen("light")
        code, seconds = h.quit_app(via="action")
        self.assertEqual(code, 0)
        self.assertLess(seconds, 0.3)  # not the page's 0.3 s goodbye
