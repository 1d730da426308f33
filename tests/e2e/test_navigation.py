"""Where navigations go: in place, to the default handler, or nowhere; frames; new-window requests."""

import os
import time
from urllib.parse import quote, urlencode

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401



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
        # Another port of the same host is outside too: the rules table and NavigationHost tests.
        for link, lands, opens in [("in", "/t/landed?from=link", None),
                                   ("other", None, f"{h.OTHER_SITE_URL}/outside?from=link"),
                                   ("http", None, f"{h.PLAIN_URL}/outside?from=link"),
                                   ("mailto", None, "mailto:vet@example.org?subject=Bramble")]:
            with self.subTest(link=link):
                # A person's click; for mailto: the only kind that hands it on.
                if link in ("mailto", "other"):
                    h.launch_app(f"/t/links?fill={link}", loaded=True)
                    h.click(640, 400)
                else:
                    h.launch_app(f"/t/links?click={link}", loaded=True)
                self.assert_goes(lands, opens, h.GRACE / 2 if lands else h.GRACE)
                if opens:
                    self.assertEqual(len(h.reports(event="loaded")), 1, "the page did not stay")
                    # Stopped before it left: the outside server never hears of it.
                    self.assertEqual(h.requests_seen(port=h.OUTSIDE_PORT) + h.requests_seen(port=h.HTTP_PORT), [])
                h.kill_app()

    def test_links_the_engine_writes_with_raw_brackets_bars_and_percents_stay_in_the_app(self):
        # The engine keeps these characters raw (location.href); the app reads them as their escapes.
        for to, stored in [("/t/landed?filter[species]=cow", "/t/landed?filter%5Bspecies%5D=cow"),
                           ("/t/landed?ids=1|2&q={a}^", "/t/landed?ids=1%7C2&q=%7Ba%7D%5E"),
                           ("/t/landed?q=100%&d=%zz", "/t/landed?q=100%25&d=%25zz")]:
            with self.subTest(to=to):
                h.launch_app("/t/nav?how=link&to=" + quote(to, safe=""), loaded=True)
                h.wait_for_report(event="loaded", page=to, top=True)
                self.assertEqual(h.opened_uris(), [])
                self.assertEqual(h.quit_app()[0], 0)
                self.assertEqual(h.read_settings()["Corvane"]["lastPath"], stored)

    def test_the_browser_an_outside_link_opens_gets_none_of_the_apps_gpu_switches(self):
        h.launch_app("/t/links?fill=other", loaded=True)
        h.click(640, 400)
        h.wait_for_opened_uri(f"{h.OTHER_SITE_URL}/outside?from=link")
        if not os.path.isdir("/dev/dri"):
            # Without a GPU the engine's processes run with them...
            pid = h.current_app().web_process_pids()[0]
            with open(f"/proc/{pid}/environ", "rb") as f:
                names = {entry.split(b"=")[0].decode() for entry in f.read().split(b"\0") if entry}
            self.assertIn("WEBKIT_DISABLE_COMPOSITING_MODE", names)
            self.assertTrue({"GDK_DEBUG", "GDK_DISABLE"} & names)
        # ...and the program the desktop starts for the link does not.
        self.assertEqual(h.current_app().home.opened_env(), [])

    def test_new_window_requests_stay_in_the_one_window(self):
        away = f"{h.OTHER_SITE_URL}/outside?from=redirect"
        redirect = "/t/open?fill=open-to&to=" + quote("/t/redirect?to=" + quote(away, safe=""), safe="")
        for path, lands, opens in [(redirect, None, away),
                                   ("/t/links?fill=blank-in", "/t/landed?from=blank", None),
                                   ("/t/links?fill=blank-out", None, f"{h.OUTSIDE_URL}/outside?from=blank"),
                                   ("/t/open?fill=open-in", "/t/landed?from=open", None),
                                   ("/t/open?fill=open-out", None, f"{h.OUTSIDE_URL}/outside?from=open")]:
            with self.subTest(path=path):
                h.launch_app(path, loaded=True)
                window = h.windows()
                self.assertEqual(len(window), 1)
                h.click(640, 400)  # a real click: WebKit refuses new windows without a user gesture
                self.assert_goes(lands, opens, h.GRACE / 2)
                self.assertEqual(h.windows(), window)
                if opens:
                    self.assertEqual(h.requests_seen(port=h.OUTSIDE_PORT), [])
                h.kill_app()

    def test_outside_links_to_any_destination_are_handed_on_once_and_the_page_stays(self):
        # Real outside links are other sites, and some of them are down, unknown or badly certified.
        other = f"{h.OTHER_SITE_URL}/outside?from=nav"
        for how, to in [("link", other),
                        ("assign", other),
                        ("link", f"{h.OTHER_SITE_URL}/outside?from=nav#section-2"),
                        ("link", f"https://[::1]:{h.OUTSIDE_PORT}/outside?from=nav"),
                        ("link", "https://outside.example/x"),
                        ("link", "https://127.0.0.1:47998/refused"),
                        ("link", f"{h.UNTRUSTED_URL}/outside?from=nav"),
                        ("assign", f"{h.OUTSIDE_URL}/outside?from=nav")]:
            with self.subTest(how=how, to=to):
                h.kill_app()  # also after a failed case: a second launch would only hand its URL to the first
                path = f"/t/nav?once=1&how={how}&to={quote(to, safe='')}"
                h.launch_app(path, loaded=True)
                h.wait_for_opened_uri(to)
                self.assertEqual(h.wait_for_report(event="still-here")["href"], h.BASE_URL + path)
                time.sleep(h.GRACE / 2)
                self.assertEqual(h.opened_uris(), [to])
                self.assertEqual(len(h.reports(event="loaded", top=True)), 1, "the page did not stay")
                for port in (h.OUTSIDE_PORT, h.UNTRUSTED_PORT):
                    self.assertEqual(h.requests_seen(port=port), [])

    def test_unreachable_outside_link_is_handed_on_not_taken_for_offline(self):
        h.launch_app("/t/nav?once=1&how=link&to=https://localhost:47999/x", loaded=True)
        h.wait_for_opened_uri("https://localhost:47999/x")
        code, seconds = h.quit_app()
        self.assertEqual(code, 0)
        self.assertGreater(seconds, 0.2)  # a page still up, not the offline screen (which quits at once)

    def test_scripted_mailto_click_is_not_handed_on(self):
        h.launch_app("/t/links?click=mailto", loaded=True)
        time.sleep(h.GRACE)
        self.assert_nothing_left()

    def test_form_post_to_another_site_is_neither_shown_nor_handed_on(self):
        h.launch_app("/t/links?click=form-other", loaded=True)
        time.sleep(h.GRACE + 1)
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

    def test_a_page_sent_to_about_blank_comes_back_as_it_was(self):
        # The engine keeps an https page in its back-forward cache unless it was served no-store; it then
        # comes back as it was. A no-store page is fetched again, with the engine refilling its fields.
        for keep, restored in (("1", True), ("", False)):
            with self.subTest(keep=keep):
                h.kill_app()
                path = f"/t/nav?once=1&focus=note&delay=2500&wait=5000&keep={keep}"
                h.launch_app(path, loaded=True)
                h.type_text("Bramble lame")
                here = h.wait_for_report(event="still-here", timeout=12)
                self.assertEqual((here["href"], here["note"], here["again"]),
                                 (h.BASE_URL + path, "Bramble lame", not restored))
                self.assertEqual(len(h.reports(event="restored")), int(restored))
                self.assertEqual(len(h.reports(event="loaded", top=True)), 1 if restored else 2)

    def test_a_page_that_replaced_itself_with_about_blank_comes_back_not_the_page_before_it(self):
        nav = "/t/nav?once=1&how=replace"
        links = "/t/links?fill=to&to=" + quote(nav, safe="")
        h.launch_app(links, loaded=True)
        h.click(640, 400)
        self.assertEqual(h.wait_for_report(event="still-here", page=nav, timeout=12)["href"], h.BASE_URL + nav)
        self.assertEqual(len(h.reports(event="loaded", page=links)), 1)
        self.assertEqual(h.reports(event="restored"), [])

    def test_https_and_data_frames_load_and_http_does_not(self):
        h.launch_app("/t/frames", loaded=True)
        for name in ("cross", "same", "data"):
            h.wait_for_report(event="frame-loaded", name=name)
        time.sleep(h.GRACE / 2)
        self.assertEqual(h.reports(event="frame-loaded", name="http"), [])
        self.assertEqual(h.requests_seen(port=h.HTTP_PORT), [])
        self.assertEqual(h.opened_uris(), [])

    def test_link_to_outside_site_inside_a_frame_loads_in_that_frame(self):
        frames = [f"{h.BASE_URL}/t/links?click=out", f"{h.OUTSIDE_URL}/t/links?click=out"]
        h.launch_app("/t/frames?" + urlencode([("src", f) for f in frames]), loaded=True)
        landed = lambda: h.reports(event="loaded", page="/outside?from=link", top=False)
        self.assertTrue(h.poll(lambda: len(landed()) == 2), f"frames that got there: {landed()}")
        time.sleep(h.GRACE / 2)
        self.assert_nothing_left()
