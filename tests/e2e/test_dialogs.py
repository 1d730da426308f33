"""The page's script dialogs, downloads, printing and camera requests, answered through the
real dialogs with clicks and key presses; the About window."""

import glob
import os
import re
import time

import harness as h
import screen
from harness import setUpModule, tearDownModule  # noqa: F401




def dialog(skip=()):
    """X id of the app's dialog (a visible window besides the main one and skip); it must be the window's."""
    main = h.current_app().window_id()
    wid = h.expect(lambda: next((w for w in h.windows() if w not in (main, *skip)), None), "dialog")
    props = h.run("xprop", "-id", wid, "WM_TRANSIENT_FOR")
    transient = re.search(r"window id # (0x[0-9a-f]+)", props)
    assert transient and int(transient.group(1), 16) == main, f"dialog not transient for the window: {props}"
    return wid


def answer(*keys, text=None, skip=()):
    """Types text into the dialog and presses keys there, or clicks the button a key names ("click:OK");
    returns the dialog's id."""
    wid = dialog(skip)
    if text is not None:
        h.type_text(text, window=wid)
    for key in keys:
        if key.startswith("click:"):
            # The buttons share the dialog's bottom row, Cancel then OK; a lone OK spans it. libadwaita
            # 1.5's alert dialog keeps a margin under them, so the click lands 40 px above the bottom.
            geo = h.window_geometry(wid)
            col = {"click:Cancel": 1, "click:OK": 3}[key] if SCRIPT_BUTTONS[wid] == 2 else 2
            h.click(geo["WIDTH"] * col // 4, -40, window=wid)
        else:
            h.key(key, window=wid)
    return wid


# How many buttons each script dialog has, by window id; set by script_dialog().
SCRIPT_BUTTONS = {}


def script_dialog(buttons, skip=()):
    """The page's dialog: the window's, readable (not squeezed) and titled by the page's origin."""
    wid = dialog(skip)
    geo = h.window_geometry(wid)
    assert geo["WIDTH"] >= 300 and geo["HEIGHT"] >= 120, f"cramped dialog: {geo}"
    SCRIPT_BUTTONS[wid] = buttons
    return wid


def reported(n, event, timeout=10):
    return h.expect(lambda: len(h.reports(event=event)) >= n and h.reports(event=event), f"{n} {event}", timeout)


def results(n):
    return [r.get("result") for r in reported(n, "dialog")]


class ScriptDialogs(h.E2ETestCase):
    def test_confirm_is_true_only_for_ok_and_prompt_gives_the_field_text_or_null(self):
        # Confirm and prompt in turn. The field starts with the page's default text, selected: typing replaces it.
        rows = [(("Return",), None, True), (("Return",), None, "Bramble"),
                (("click:Cancel",), None, False), (("click:OK",), "Clover", "Clover"),
                (("Escape",), None, False), (("ctrl+a", "BackSpace", "Return"), None, ""),
                (("click:OK",), None, True), (("Escape",), "Pip", None)]
        h.launch_app(f"/t/dialog?kind=confirm,prompt&auto=1&repeat={len(rows)}")
        seen = []
        for n, (keys, text, _) in enumerate(rows):
            script_dialog(2, skip=seen)
            seen.append(answer(*keys, text=text, skip=seen))
            results(n + 1)
        self.assertEqual(results(len(rows)), [result for _, _, result in rows])

    def test_a_huge_message_still_fits_on_the_screen(self):
        h.launch_app("/t/dialog?kind=confirm&auto=1&huge=1")
        wid = script_dialog(2)
        geo = h.window_geometry(wid)
        self.assertLessEqual(geo["HEIGHT"], 600, geo)  # the smallest the main window can be
        answer("click:OK")
        self.assertEqual(results(1), [True])

    def test_alert_returns_only_after_the_dialog_closes(self):
        h.launch_app("/t/dialog?kind=alert&auto=1&repeat=2")
        h.wait_for_report(event="dialog-open")
        first = script_dialog(1)
        h.assert_no_report(event="dialog", within=1.0)
        answer("click:OK")
        self.assertEqual(results(1), [None])
        self.assertTrue(h.poll(lambda: first not in h.windows(), 5))
        answer("Escape", skip=(first,))
        self.assertEqual(results(2), [None, None])

    def test_quitting_answers_an_open_dialog(self):
        h.launch_app("/t/dialog?kind=confirm&auto=1")
        script_dialog(2)
        # The page cannot say goodbye while its confirm() waits: the quit goes ahead after its limit.
        code, seconds = h.quit_app()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 3.0)


class About(h.E2ETestCase):
    def test_about_from_the_app_menu_shows_the_app(self):
        app = h.launch_app("/t/probe?k=about", loaded=True)
        # The window carries the app's icon for X11 panels and switchers.
        self.assertNotIn("not found", h.run("xprop", "-id", app.window_id(), "-notype", "_NET_WM_ICON")[:200])
        h.click(30, 14)  # the app menu's title, first on the strip
        h.click(70, 52)  # its first row, About Corvane
        wid = dialog()
        geo = h.window_geometry(wid)
        # Its logo (the icon's own green) is drawn, above the name.
        icon = (geo["X"], geo["Y"], geo["WIDTH"], geo["HEIGHT"] // 3)
        shot = screen.wait_for(lambda s: s.count(screen.ICON, icon) > 2000, timeout=5)
        self.assertGreater(shot.count(screen.ICON, icon), 2000)
        h.key("Escape", window=wid)
        self.assertTrue(h.poll(lambda: wid not in h.windows(), 5))


class Downloads(h.E2ETestCase):
    def landed(self, app):
        return sorted(p for p in glob.glob(os.path.join(app.home.root, "**", "file.zip*"), recursive=True)
                      if os.path.isfile(p))

    def test_save_dialog_offers_the_suggested_name_and_saves_where_it_says(self):
        app = h.launch_app("/t/download?click=zip")
        answer("Return")
        path = os.path.join(app.home.home, "file.zip")
        self.assertTrue(h.poll(lambda: os.path.exists(path) and os.path.getsize(path) > 0), self.landed(app))
        self.assertEqual(self.landed(app), [path])
        h.kill_app()

        app = h.launch_app("/t/download?click=zip")
        chosen = os.path.join(app.home.root, "saved", "herd.zip")
        os.makedirs(os.path.dirname(chosen))
        answer("ctrl+a")
        answer("Return", text=chosen)
        self.assertTrue(h.poll(lambda: os.path.exists(chosen) and os.path.getsize(chosen) > 0))
        with open(chosen, "rb") as f:
            self.assertEqual(f.read(4), b"PK\x03\x04")
        self.assertEqual(self.landed(app), [])

    def test_cancelled_save_leaves_nothing(self):
        app = h.launch_app("/t/download?click=zip")
        wid = answer("Escape")
        self.assertTrue(h.poll(lambda: wid not in h.windows(), 5))
        h.wait_for_request(path="/t/file.zip")
        h.assert_no_report(event="script-error", within=1.0)
        self.assertEqual(self.landed(app), [])


class Printing(h.E2ETestCase):
    def print_events(self):
        return [r["event"] for r in h.reports(lambda r: r.get("event") in ("beforeprint", "afterprint"))]

    def test_cancelled_print_dispatches_afterprint_once(self):
        h.launch_app("/t/probe?k=print-cancel&print=1")
        h.wait_for_report(event="beforeprint")
        answer("Escape")
        h.wait_for_report(event="afterprint")
        h.assert_no_report(lambda r: r.get("event") == "afterprint" and r["seq"] > 3, within=1.5)
        self.assertEqual(self.print_events(), ["beforeprint", "afterprint"])

    def test_quitting_closes_an_open_print_dialog(self):
        h.launch_app("/t/probe?k=print-quit&print=1")
        h.wait_for_report(event="beforeprint")
        time.sleep(0.5)
        code, seconds = h.quit_app()
        self.assertEqual(code, 0)
        self.assertLess(seconds, 2.0)

    def test_print_to_file_is_named_after_the_page_and_lands_with_documents(self):
        # Where the desktop names no documents folder, home; never the folder the app was started in.
        for documents in ("Papers", None):
            with self.subTest(documents=documents):
                try:
                    self.print_to_file(documents)
                finally:
                    h.kill_app()

    def print_to_file(self, documents):
        home = h.Home(h.session().tmp)
        started_in = os.path.join(home.root, "elsewhere")
        os.makedirs(started_in)
        folder = home.home
        if documents:
            folder = os.path.join(home.home, documents)
            os.makedirs(folder)
            with open(os.path.join(home.env["XDG_CONFIG_HOME"], "user-dirs.dirs"), "w") as f:
                f.write(f'XDG_DOCUMENTS_DIR="$HOME/{documents}"\n')
        # The delay lets the page's title reach the app before it prints.
        app = h.launch_app("/t/probe?k=print-file&print=1&delay=300", home=home, cwd=started_in)
        h.wait_for_report(event="beforeprint")
        # The only printer here is "Print to File": select it, then the dialog's Print button.
        answer("Down", "space", "alt+p")
        h.wait_for_report(event="afterprint", timeout=20)
        pdf = os.path.join(folder, "probe.pdf")
        self.assertTrue(h.poll(lambda: os.path.exists(pdf), 5), glob.glob(app.home.root + "/**/*.pdf", recursive=True))
        with open(pdf, "rb") as f:
            self.assertEqual(f.read(5), b"%PDF-")
        # The engine adds its own pair around laying the page out for paper; ours closes the sequence.
        h.assert_no_report(lambda r: r.get("event") == "afterprint" and r["seq"] > 5, within=1.0)
        self.assertEqual(self.print_events(), ["beforeprint", "beforeprint", "afterprint", "afterprint"])


class Camera(h.E2ETestCase):
    def results(self, frames):
        # No camera under Xvfb: without the engine's stand-in devices every request would end in
        # OverconstrainedError before the app is asked.
        h.launch_app(f"/t/media?frames={frames}", env={"CORVANE_MOCK_CAPTURE_DEVICES": "1"})
        return {r["name"]: r["result"] for r in reported(1 + len(frames.split(",")), "media", 15)}

    def test_main_frame_granted_and_frames_refused_even_when_delegated(self):
        self.assertEqual(self.results("same,cross,cross-allow"), {"main": "granted", "same": "NotAllowedError",
                                                                   "cross": "NotAllowedError",
                                                                   "cross-allow": "NotAllowedError"})
