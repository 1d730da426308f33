"""Start page, the stored last path, the one-time fade-in of the page, and the strip above it."""

import time
from urllib.parse import quote

import harness as h
import screen
from harness import setUpModule, tearDownModule  # noqa: F401

PAGE, NEXT = "7B2D8E", "2C7A5B"  # colours no part of the app draws
FIR = bytes.fromhex("2C4A3C")  # the farm page's sign-in button
MENUS, CONTROLS = 400, 200  # the strip's own menus at its start and window controls at its end
THEME = "2C4A3C"  # a page's theme-color
LIGHT_INK = "E7EAE4"


def near(shot, colour, rect, within=0x30):
    """How many pixels of rect are within `within` of colour in each channel."""
    x, y, w, hgt = rect
    want = bytes.fromhex(colour)
    return sum(all(abs(a - b) <= within for a, b in zip(shot.data[i:i + 3], want)) for row in range(y, y + hgt)
               for i in range((row * shot.width + x) * 3, (row * shot.width + x + w) * 3, 3))


class StartPage(h.E2ETestCase):
    def test_first_launch_shows_the_farm_in_one_window(self):
        h.launch_app()
        loaded = h.wait_for_report(event="loaded", page="/farm", top=True)
        self.assertEqual(loaded["bridge"], {"present": True, "platform": "linux", "version": "1.0.0"})
        self.assertEqual(h.requests_seen(port=h.APP_PORT, dest="document")[0]["path"], "/farm")
        # The engine's warm-up connects ahead of the page but asks for nothing, and hands its web process on.
        self.assertEqual(h.requests_seen(port=h.APP_PORT)[0]["path"], "/farm")
        self.assertEqual(len(h.current_app().web_process_pids()), 1)
        geo = h.window_geometry()
        self.assertEqual((geo["WIDTH"], geo["HEIGHT"]), (1280, 820))
        self.assertEqual(len(h.windows()), 1)
        # The page is drawn (its sign-in button), not just the window ground.
        screen.wait_for(lambda s: s.data.count(FIR) > 300, timeout=5)

    def test_command_line_version_and_help(self):
        version = h.run(h.APP_PATH, "--version")
        self.assertRegex(version, r"^Corvane \d+\.\d+\.\d+\n$")
        usage = h.run(h.APP_PATH, "--help")
        self.assertRegex(usage, r"corvane \[OPTION.*\] \[URL\]")
        self.assertIn("corvane-desktop:", usage)
        self.assertIn("--version", usage)

    def test_a_refused_stored_path_opens_the_farm_and_stays_stored(self):
        # The engine would read the backslash as a slash; the gate must see the text as stored.
        h.launch_app("/records\\7")
        self.assertEqual(h.wait_for_request(port=h.APP_PORT, dest="document")["path"], "/farm")
        h.wait_for_report(event="loaded", page="/farm", top=True)
        # Read at launch, rewritten only at quit.
        self.assertEqual(h.read_settings()["Corvane"]["lastPath"], "/records\\7")


class Reveal(h.E2ETestCase):
    def assert_window_all(self, shot, colour, what, strip=screen.GROUND):
        """The strip opaque in its colour, and colour from its lower edge to the window's bottom."""
        geo = h.window_geometry()
        mx = geo["X"] + geo["WIDTH"] // 2
        top = next((y for y in range(geo["Y"], geo["Y"] + 6) if shot.at(mx, y) == strip), None)
        self.assertIsNotNone(top, f"no strip ({strip}) at the window's top")
        below = dict(geo, Y=top + screen.STRIP, HEIGHT=geo["Y"] + geo["HEIGHT"] - top - screen.STRIP)
        x, y, w, hgt = screen.content_rect(shot, colour, below)
        self.assertEqual(shot.off_pixels(colour, (x, top + screen.STRIP, w, y + hgt - top - screen.STRIP)), [],
                         f"window rows not all {what} ({colour})")
        controls = [(x, top, MENUS, screen.STRIP), (x + w - CONTROLS, top, CONTROLS, screen.STRIP)]
        self.assertEqual(shot.off_pixels(strip, (x, top, w, screen.STRIP), skip=controls), [], f"strip not all {strip}")
        return x, top, w

    def page_shown(self, timeout):
        return screen.wait_for(lambda s: s.at(640, 400) == PAGE, timeout=timeout)

    def test_page_shows_once_its_load_finishes_and_stays_shown_on_later_loads(self):
        nxt = f"/t/paint?bg={NEXT}&hold=3000"
        h.launch_app(f"/t/paint?bg={PAGE}&hold=1500&next={quote(nxt)}&click=next&delay=1200")
        slow = h.wait_for_request(path="/t/slow?ms=1500")
        time.sleep(max(0.0, slow["t"] + 0.5 - time.time()))
        held = screen.grab()
        self.assertFalse(h.reports(event="loaded"))
        self.assert_window_all(held, screen.GROUND, "ground before the page finished loading")
        h.wait_for_report(event="loaded", bg=PAGE)
        self.assert_window_all(self.page_shown(3), PAGE, "page, edge to edge below the strip")

        # The next page commits and paints while its own load is held: it must never be hidden again.
        slow2 = h.wait_for_request(path="/t/slow?ms=3000", timeout=5)
        seen = set()
        while time.time() < slow2["t"] + 2.5:
            seen.add(screen.grab().at(640, 400))
        self.assertFalse(h.reports(event="loaded", bg=NEXT), "held load finished early; timing unusable")
        self.assertNotIn(screen.GROUND, seen)
        self.assertIn(NEXT, seen)

    def test_strip_follows_the_pages_theme_colour(self):
        h.launch_app(f"/t/paint?bg={PAGE}&theme=%23{THEME}")
        h.wait_for_report(event="loaded", bg=PAGE)
        shot = screen.wait_for(lambda s: s.at(640, 400) == PAGE and s.count(THEME, (0, 0, 1280, 40)) > 20000, 5)
        x, top, _ = self.assert_window_all(shot, PAGE, "page below the strip", strip=THEME)
        # Light menu titles on the dark colour: pixels near the ink, since GTK 4.16+ antialiases glyphs
        # without hinting and leaves fewer of them at its exact value.
        self.assertGreater(near(shot, LIGHT_INK, (x, top, MENUS, screen.STRIP)), 50, "menu titles in light ink")
