"""Exports and downloads as a person meets them under metacity: a real click on a link in a served page,
the save dialog, Return; where the dialog opens, and what it asks before replacing a file."""

import os
import re
import ssl
import urllib.request

import harness as h
from harness import tearDownModule  # noqa: F401
from harness import setUpModuleWithWindowManager as setUpModule  # noqa: F401

# Link id on /t/exports: the name the save dialog must offer.
EXPORTS = {
    "csv": "herd.csv",
    "json": "herd.json",
    "text": "care notes.txt",
    "pdf": "herd report.pdf",
    "png": "paddock.png",
    "intl": "Käse € Ma\u0308rz.csv",
    "dl": "notes.txt",  # a link with the download attribute; the response has no Content-Disposition
    "climb": "profile",  # the server says "../../.profile": Return must not write outside the folder
}
HREFS = {"dl": "/t/file.txt"}


def served(kind):
    """The bytes the service answers the link with, as any client gets them."""
    context = ssl.create_default_context(cafile=os.path.join(h.CERT_DIR, "cert.pem"))
    with urllib.request.urlopen(h.BASE_URL + HREFS.get(kind, f"/t/export?kind={kind}"), context=context) as r:
        return r.read()


def make_home(download_dir="Downloads"):
    """A home whose XDG download folder is ~/<download_dir>."""
    home = h.Home(h.session().tmp)
    folder = os.path.join(home.home, download_dir)
    os.makedirs(folder)
    with open(os.path.join(home.home, ".config", "user-dirs.dirs"), "w") as f:
        f.write(f'XDG_DOWNLOAD_DIR="$HOME/{download_dir}"\n')
    return home, folder


def dialogs():
    """The app's windows besides the main one, each checked to belong to the main window or another of them."""
    app = h.current_app()
    main = app.window_id()
    found = [w for w in h.windows() if w != main]
    for wid in found:
        props = h.run("xprop", "-id", wid, "WM_TRANSIENT_FOR", check=False)
        owner = re.search(r"window id # (0x[0-9a-f]+)", props)
        assert owner and int(owner.group(1), 16) in (main, *found), f"stray window: {props}"
    return found


def save_dialog():
    return h.expect(lambda: (dialogs() or [None])[0], "save dialog")


def click_link(kind, home=None, **settings):
    """Launches on a page whose one link (kind) covers it and clicks it for real, keeping what an earlier
    launch in home stored; returns the app."""
    kept = home.read_settings().get("Corvane", {}) if home else {}
    kept.pop("lastPath", None)
    app = h.launch_app(f"/t/exports?fill={kind}", home=home, **{**kept, **settings})
    h.wait_for_report(event="loaded", page=f"/t/exports?fill={kind}", timeout=20)
    geo = h.window_geometry()
    h.click(geo["WIDTH"] // 2, geo["HEIGHT"] // 2)
    return app


def files_in(folder):
    return sorted(os.listdir(folder))


def landed(path, data):
    """Whether path holds exactly data (the engine writes it after the dialog closes)."""
    try:
        with open(path, "rb") as f:
            return f.read() == data
    except FileNotFoundError:
        return False


def still_on(test, page):
    """The page is the one clicked on, alive, and no other document replaced it."""
    h.key("k")
    got = h.wait_for_report(event="key")
    test.assertEqual((got["href"], got["title"]), (h.BASE_URL + page, "exports"))
    test.assertEqual([r["page"] for r in h.reports(event="loaded")], [page])
    test.assertEqual(h.reports(event="pagehide"), [])


class Exports(h.E2ETestCase):
    def test_each_export_is_saved_with_its_name_and_the_page_stays(self):
        for kind, name in EXPORTS.items():
            with self.subTest(kind=kind):
                h.kill_app()  # one that failed still runs, and would take the next launch's arguments
                home, downloads = make_home()
                click_link(kind, home=home)
                wid = save_dialog()
                h.key("Return", window=wid)
                path = os.path.join(downloads, name)
                data = served(kind)
                self.assertTrue(h.poll(lambda: landed(path, data)), files_in(downloads))
                self.assertTrue(h.poll(lambda: not dialogs(), 5))
                self.assertEqual(files_in(downloads), [name])
                for above in (home.home, home.root):
                    self.assertFalse(os.path.exists(os.path.join(above, ".profile")))
                still_on(self, f"/t/exports?fill={kind}")
                status, _ = h.quit_app()
                self.assertEqual(status, 0)
                # The next launch opens the page, not the export.
                self.assertEqual(home.read_settings()["Corvane"]["lastPath"], f"/t/exports?fill={kind}")

    def test_an_export_cut_off_by_its_server_leaves_no_half_file(self):
        home, downloads = make_home()
        click_link("cut", home=home)
        wid = save_dialog()
        h.key("Return", window=wid)
        self.assertTrue(h.poll(lambda: not dialogs(), 5))
        # Whatever the engine wrote before the server went away, it must not stay.
        h.poll(lambda: files_in(downloads), h.GRACE)
        self.assertTrue(h.poll(lambda: files_in(downloads) == []), files_in(downloads))
        still_on(self, "/t/exports?fill=cut")
        self.assertTrue(h.current_app().alive())

    def test_an_inline_response_is_shown_and_kept_as_the_last_page(self):
        home, downloads = make_home()
        click_link("inline", home=home)
        h.wait_for_report(event="loaded", page="/t/export?kind=inline")
        h.assert_no_report(event="script-error", within=h.GRACE)
        self.assertEqual(dialogs(), [])
        status, _ = h.quit_app()
        self.assertEqual(status, 0)
        self.assertEqual(home.read_settings()["Corvane"]["lastPath"], "/t/export?kind=inline")
        self.assertEqual(files_in(downloads), [])


class WhereTheDialogOpens(h.E2ETestCase):
    def test_the_next_download_opens_where_the_last_was_saved_even_after_a_restart(self):
        home, downloads = make_home()
        click_link("csv", home=home)
        wid = save_dialog()
        chosen = os.path.join(home.root, "farm exports")
        os.makedirs(chosen)
        # The name is selected: typing replaces it and keeps the extension.
        h.type_text("bramble", window=wid)
        h.key("Return", window=wid)
        self.assertTrue(h.poll(lambda: files_in(downloads) == ["bramble.csv"]), files_in(downloads))
        h.kill_app()

        # Elsewhere this time, by typing the whole path.
        click_link("json", home=home)
        wid = save_dialog()
        h.key("ctrl+a", window=wid)
        h.type_text(os.path.join(chosen, "first.json"), window=wid)
        h.key("Return", window=wid)
        self.assertTrue(h.poll(lambda: landed(os.path.join(chosen, "first.json"), served("json"))))
        h.kill_app()

        click_link("text", home=home)
        h.key("Return", window=save_dialog())
        self.assertTrue(h.poll(lambda: landed(os.path.join(chosen, "care notes.txt"), served("text"))),
                        files_in(chosen))
        self.assertEqual(files_in(downloads), ["bramble.csv"])

    def test_a_stored_folder_that_is_no_folder_is_passed_over(self):
        home, downloads = make_home("Fetched")
        with open(os.path.join(home.home, "a file"), "w") as f:
            f.write("x")
        for stored in ("Fetched/../..", os.path.join(home.home, "gone"), os.path.join(home.home, "a file"),
                       "~/", "/x" * 3000):
            with self.subTest(stored=stored[:40]):
                h.kill_app()
                for name in files_in(downloads):
                    os.remove(os.path.join(downloads, name))
                click_link("png", home=home, lastDownloadFolder=stored)
                h.key("Return", window=save_dialog())
                self.assertTrue(h.poll(lambda: landed(os.path.join(downloads, "paddock.png"), served("png"))),
                                files_in(downloads))

    def test_replacing_a_file_asks_first(self):
        home, downloads = make_home()
        path = os.path.join(downloads, "herd.csv")
        with open(path, "wb") as f:
            f.write(b"kept\n")
        click_link("csv", home=home)
        chooser = save_dialog()
        h.key("Return", window=chooser)
        ask = h.expect(lambda: next((w for w in dialogs() if w != chooser), None), "replace question")
        # Not replaced: the question goes, the chooser stays, the file is as it was.
        h.key("Escape", window=ask)
        self.assertTrue(h.poll(lambda: ask not in dialogs(), 5))
        self.assertIn(chooser, dialogs())
        h.assert_no_report(event="script-error", within=h.GRACE)
        with open(path, "rb") as f:
            self.assertEqual(f.read(), b"kept\n")

        h.key("Return", window=chooser)
        ask = h.expect(lambda: next((w for w in dialogs() if w != chooser), None), "replace question")
        h.key("Return", window=ask)
        self.assertTrue(h.poll(lambda: landed(path, served("csv"))))
        self.assertEqual(files_in(downloads), ["herd.csv"])
