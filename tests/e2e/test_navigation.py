"""Where navigations go: in place, to the default handler, or nowhere; frames; new-window requests."""

import sys
import time
import unittest
from urllib.parse import quote, urlencode

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401

GRACE = 1.0  # for something that must not happen: longer than the app takes to do it


def launch_on(path):
    app = h.launch_app(settings={"Corvane": {"lastPath": path}})
    h.wait_for_report(event="loaded", page=path, top=True, timeout=15)
    return app


def outside_top_level():
    return h.reports(lambda r: r["origin"] != h.APP_PORT and r.get("top"))


def visible_windows(app):
    return h.session().xdotool("search", "--onlyvisible", "--pid", app.pid, check=False).stdout.split()


class Links(h.E2ETestCase):
    def test_links(self):
        cases = [
            ("in", "/t/landed?from=link", None),
            ("out", None, f"{h.OUTSIDE_URL}/outside?from=link"),
            ("http", None, f"{h.PLAIN_URL}/outside?from=link"),
            ("mailto", None, "mailto:vet@example.org?subject=Bramble"),
        ]
        for link, lands, opens in cases:
            with self.subTest(link=link):
                app = launch_on(f"/t/links?click={link}")
                if lands:
                    h.wait_for_report(event="loaded", page=lands, top=True)
                    time.sleep(GRACE / 2)
                    self.assertEqual(h.opened_uris(), [])
                else:
                    h.wait_for_opened_uri(opens)
                    time.sleep(GRACE)
                    self.assertEqual(h.opened_uris(), [opens])
                    self.assertEqual(outside_top_level(), [])
                    self.assertEqual(len(h.reports(event="loaded")), 1, "the page did not stay")
                app.kill()

    def test_form_post_to_outside_site_is_neither_shown_nor_handed_on(self):
        launch_on("/t/links?click=form")
        contacted = bool(h._poll(lambda: h.requests_seen(port=h.OUTSIDE_PORT, method="POST"), 3))
        time.sleep(GRACE)
        self.assertEqual(h.opened_uris(), [])
        self.assertEqual(outside_top_level(), [])
        sys.stderr.write(f"[form post reached the outside server: {'yes' if contacted else 'no'}] ")


class RefusedMainFrame(h.E2ETestCase):
    def test_main_frame_never_stays_on_a_refused_url(self):
        cases = [
            "/t/nav?once=1",
            "/t/nav?once=1&how=link",
            "/t/nav?once=1&how=replace",
            "/t/nav?once=1&to=" + quote("file:///etc/hostname"),
        ]
        for path in cases:
            with self.subTest(path=path):
                app = launch_on(path)
                h.wait_for_report(event="navigating")
                # Staying, or coming back to the page, are both fine; ending up elsewhere is not.
                here = h.wait_for_report(event="still-here", timeout=8)
                self.assertEqual(here["href"], h.BASE_URL + path)
                self.assertEqual(h.opened_uris(), [])
                app.kill()


class Frames(h.E2ETestCase):
    def test_https_and_data_frames_load_and_http_does_not(self):
        launch_on("/t/frames")
        for name in ("cross", "same", "data"):
            h.wait_for_report(event="frame-loaded", name=name)
        time.sleep(GRACE / 2)
        self.assertEqual(h.reports(event="frame-loaded", name="http"), [])
        self.assertEqual(h.requests_seen(port=h.HTTP_PORT), [])
        self.assertEqual(h.opened_uris(), [])

    def test_link_to_outside_site_inside_a_frame_loads_in_that_frame(self):
        frames = [f"{h.BASE_URL}/t/links?click=out", f"{h.OUTSIDE_URL}/t/links?click=out"]
        launch_on("/t/frames?" + urlencode([("src", f) for f in frames]))
        landed = lambda: h.reports(event="loaded", page="/outside?from=link", top=False)
        self.assertTrue(h._poll(lambda: len(landed()) == 2, 10), f"frames that got there: {landed()}")
        time.sleep(GRACE / 2)
        self.assertEqual(h.opened_uris(), [])
        self.assertEqual(outside_top_level(), [])


class NewWindows(h.E2ETestCase):
    def test_new_window_requests_stay_in_the_one_window(self):
        cases = [
            ("/t/links?fill=blank-in", "/t/landed?from=blank", None),
            ("/t/links?fill=blank-out", None, f"{h.OUTSIDE_URL}/outside?from=blank"),
            ("/t/open?fill=open-in", "/t/landed?from=open", None),
            ("/t/open?fill=open-out", None, f"{h.OUTSIDE_URL}/outside?from=open"),
        ]
        for path, lands, opens in cases:
            with self.subTest(path=path):
                app = launch_on(path)
                window = visible_windows(app)
                self.assertEqual(len(window), 1)
                h.click(640, 400)  # a real click: WebKit refuses new windows without a user gesture
                if lands:
                    h.wait_for_report(event="loaded", page=lands, top=True)
                    time.sleep(GRACE / 2)
                    self.assertEqual(h.opened_uris(), [])
                else:
                    h.wait_for_opened_uri(opens)
                    time.sleep(GRACE / 2)
                    self.assertEqual(h.opened_uris(), [opens])
                    self.assertEqual(outside_top_level(), [])
                self.assertEqual(visible_windows(app), window)
                app.kill()


if __name__ == "__main__":
    unittest.main()
