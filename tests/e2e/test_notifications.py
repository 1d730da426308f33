"""Page notices on the desktop's notification server, and what a click on one does."""

import json
from urllib.parse import quote

import harness as h
from harness import tearDownModule  # noqa: F401

SERVER = None


def setUpModule():
    global SERVER
    h.setUpModule()
    SERVER = h.NotificationServer()


def posting(notice):
    """A test page that posts the notice at load, and again on Return."""
    return "/t/post?focus=post&msg=" + quote(json.dumps({"type": "notify", **notice}))


def focused_window():
    out = h.run("xdotool", "getwindowfocus", check=False).strip()
    return int(out) if out.isdigit() else None


class Notices(h.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.mark = len(SERVER.calls)

    def notices(self, n):
        h.expect(lambda: len(SERVER.calls) >= self.mark + n, f"{n} notices")
        return SERVER.calls[self.mark:self.mark + n]

    def posted_twice(self):
        # GLib can replace a notice only after the server has answered its first Notify.
        self.notices(1)
        h.key("Return")
        return self.notices(2)

    def test_follow_up_offers_both_answers_and_no_better_opens_its_answer_in_front(self):
        app = h.launch_app("/t/probe?k=notices&sub=menu&notify=" + quote("Bramble: how is the hoof?")
                           + "&body=" + quote("North field, left hind.") + "&url=" + quote("/care?follow_up=k9"))
        (notice,) = self.notices(1)
        self.assertEqual((notice["summary"], notice["body"]), ("Bramble: how is the hoof?", "North field, left hind."))
        actions = notice["actions"]
        self.assertEqual(actions[:2], ["default", ""])
        self.assertEqual(actions[3::2], ["Better", "No better"])
        self.assertEqual(len(set(actions[0::2])), 3, actions)

        # Shown while the app is in front; the answer must bring it forward again.
        wid = app.window_id()
        h.run("xdotool", "windowfocus", h.run("xdotool", "search", "--maxdepth", "0", "").split()[0])
        self.assertNotEqual(focused_window(), wid)
        SERVER.invoke_action(notice["id"], actions[actions.index("No better") - 1])
        h.wait_for_report(event="loaded", page="/care?follow_up=k9&answer=no_better", top=True)
        self.assertTrue(h.poll(lambda: focused_window() == wid, 5), "window not brought forward")

    def test_a_click_opens_a_notice_url_the_page_wrote_with_raw_non_ascii(self):
        h.launch_app(posting({"title": "K\u00e4se geliefert", "url": "/records?id=7&herd=Br\u00fccke"}))
        SERVER.invoke_action(self.notices(1)[0]["id"])
        h.wait_for_report(event="loaded", page="/records?id=7&herd=Br%C3%BCcke", top=True)

    def test_same_tag_replaces_and_a_click_opens_the_notice_url(self):
        h.launch_app(posting({"title": "Hoof trim due", "tag": "bramble-hoof", "url": "/records?id=7"}))
        first, second = self.posted_twice()
        self.assertEqual(first["replaces_id"], 0)
        self.assertEqual(second["replaces_id"], first["id"])
        self.assertTrue(second["replaced"])
        # Not a follow-up: a click on the body, and no buttons.
        self.assertEqual(second["actions"], ["default", ""])
        SERVER.invoke_action(second["id"])
        h.wait_for_report(event="loaded", page="/records?id=7", top=True)
