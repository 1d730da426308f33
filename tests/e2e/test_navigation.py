"""Where navigations go: in place, to the default handler, or nowhere; frames; new-window requests."""

import time
from urllib.parse import quote, urlencode

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401

GRACE = 1.0  # for something that must not happen: longer than the app takes to do it


class Navigation(h.E2ETestCase):
    def assert_nothing_left(self, opened=()):
        """Nothing was handed on but opened, and no outside page became the top level."""
        self.assertEqual(h.opened_uris(), list(opened))
        self.assertEqual(h.reports(lambda r: r["origin"] != h.APP_PORT and r.get("top")), [])

    def assert_goes(self, lands, opens, grace):
        if lands:
            h.wait_for_report(event="loaded", page=lands, top=True)
            time.sleep(grace)
            self.assertEqual(h.opened_uris(), [])
        else:
            h.wait_for_opened_uri(opens)
            time.sleep(grace)
            self.assert_nothing_left([opens])

    def test_links(self):
        for link, lands, opens in [("in", "/t/landed?from=link", None),
                                   ("out", None, f"{h.OUTSIDE_URL}/outside?from=link"),
                                   ("http", None, f"{h.PLAIN_URL}/outside?from=link"),
                                   ("mailto", None, "mailto:vet@example.org?subject=Bramble")]:
            with self.subTest(link=link):
                if link == "mailto":  # handed on only for a person's click, not a script's
                    h.launch_app(f"/t/links?fill={link}", loaded=True)
                    h.click(640, 400)
                else:
                    h.launch_app(f"/t/links?click={link}", loaded=True)
                self.assert_goes(lands, opens, GRACE / 2 if lands else GRACE)
                if opens:
                    self.assertEqual(len(h.reports(event="loaded")), 1, "the page did not stay")
                if link == "out":  # stopped before it left: the outside server never hears of it
                    self.assertEqual(h.requests_seen(port=h.OUTSIDE_PORT), [])
                h.kill_app()

    def test_links_the_engine_writes_with_raw_brackets_and_bars_stay_in_the_app(self):
        # The engine keeps these characters raw (location.href); the app reads them as their escapes.
        for to, stored in [("/t/landed?filter[species]=cow", "/t/landed?filter%5Bspecies%5D=cow"),
                           ("/t/landed?ids=1|2&q={a}^", "/t/landed?ids=1%7C2&q=%7Ba%7D%5E")]:
            with self.subTest(to=to):
                h.launch_app("/t/nav?how=link&to=" + quote(to, safe=""), loaded=True)
                h.wait_for_report(event="loaded", page=to, top=True)
                self.assertEqual(h.opened_uris(), [])
                self.assertEqual(h.quit_app()[0], 0)
                self.assertEqual(h.read_settings()["Corvane"]["lastPath"], stored)

    def test_new_window_requests_stay_in_the_one_window(self):
        for path, lands, opens in [("/t/links?fill=blank-in", "/t/landed?from=blank", None),
                                   ("/t/links?fill=blank-out", None, f"{h.OUTSIDE_URL}/outside?from=blank"),
                                   ("/t/open?fill=open-in", "/t/landed?from=open", None),
                                   ("/t/open?fill=open-out", None, f"{h.OUTSIDE_URL}/outside?from=open")]:
            with self.subTest(path=path):
                h.launch_app(path, loaded=True)
                window = h.windows()
                self.assertEqual(len(window), 1)
                h.click(640, 400)  # a real click: WebKit refuses new windows without a user gesture
                self.assert_goes(lands, opens, GRACE / 2)
                self.assertEqual(h.windows(), window)
                h.kill_app()

    def test_unreachable_outside_link_is_handed_on_not_taken_for_offline(self):
        h.launch_app("/t/nav?once=1&how=link&to=https://localhost:47999/x", loaded=True)
        h.wait_for_opened_uri("https://localhost:47999/x")
        code, seconds = h.quit_app()
        self.assertEqual(code, 0)
        self.assertGreater(seconds, 0.2)  # a page still up, not the offline screen (which quits at once)

    def test_scripted_mailto_click_is_not_handed_on(self):
        h.launch_app("/t/links?click=mailto", loaded=True)
        time.sleep(GRACE)
        self.assert_nothing_left()

    def test_form_post_to_outside_site_is_neither_shown_nor_handed_on(self):
        h.launch_app("/t/links?click=form", loaded=True)
        time.sleep(GRACE + 1)
        self.assert_nothing_left()
        self.assertEqual(h.requests_seen(port=h.OUTSIDE_PORT, method="POST"), [])  # the form data never left

    def test_main_frame_never_stays_on_a_refused_url(self):
        for path in ["/t/nav?once=1", "/t/nav?once=1&how=link", "/t/nav?once=1&how=replace",
                     "/t/nav?once=1&to=" + quote("file:///etc/hostname")]:
            with self.subTest(path=path):
                h.launch_app(path, loaded=True)
                h.wait_for_report(event="navigating")
                # Staying, or coming back to the page, are both fine; ending up elsewhere is not.
                self.assertEqual(h.wait_for_report(event="still-here", timeout=8)["href"], h.BASE_URL + path)
                self.assertEqual(h.opened_uris(), [])
                h.kill_app()

    def test_https_and_data_frames_load_and_http_does_not(self):
        h.launch_app("/t/frames", loaded=True)
        for name in ("cross", "same", "data"):
            h.wait_for_report(event="frame-loaded", name=name)
        time.sleep(GRACE / 2)
        self.assertEqual(h.reports(event="frame-loaded", name="http"), [])
        self.assertEqual(h.requests_seen(port=h.HTTP_PORT), [])
        self.assertEqual(h.opened_uris(), [])

    def test_link_to_outside_site_inside_a_frame_loads_in_that_frame(self):
        frames = [f"{h.BASE_URL}/t/links?click=out", f"{h.OUTSIDE_URL}/t/links?click=out"]
        h.launch_app("/t/frames?" + urlencode([("src", f) for f in frames]), loaded=True)
        landed = lambda: h.reports(event="loaded", page="/outside?from=link", top=False)
        self.assertTrue(h.poll(lambda: len(landed()) == 2), f"frames that got there: {landed()}")
        time.sleep(GRACE / 2)
        self.assert_nothing_left()
