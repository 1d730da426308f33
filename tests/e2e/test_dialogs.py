"""The page's script dialogs, file inputs, downloads, printing and camera requests, answered through the
real GTK dialogs driven with key presses."""

import glob
import os
import re
import time
import unittest

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401


def at(path, env=None):
    return h.launch_app(settings={"Corvane": {"lastPath": path}}, env=env)


def dialog(skip=()):
    """X id of the app's dialog (a visible window besides the main one, not in skip), once it is up.

    Fails unless the dialog belongs to the main window.
    """
    app = h.current_app()
    main = app.window_id()

    def look():
        ids = h.session().xdotool("search", "--onlyvisible", "--pid", app.pid).stdout.split()
        others = [int(i) for i in ids if int(i) not in (main, *skip)]
        return others[0] if others else None
    wid = h._poll(look, 10, 0.1)
    if wid is None:
        raise AssertionError("no dialog appeared")
    props = h.session().run(["xprop", "-id", str(wid), "WM_TRANSIENT_FOR"]).stdout
    transient = re.search(r"WM_TRANSIENT_FOR\(WINDOW\): window id # (0x[0-9a-f]+)", props)
    assert transient and int(transient.group(1), 16) == main, f"dialog not transient for the window: {props}"
    return wid


def gone(wid):
    ids = h.session().xdotool("search", "--onlyvisible", "--pid", h.current_app().pid).stdout.split()
    return str(wid) not in ids


def answer(*keys, text=None, skip=()):
    """Types text into the dialog, presses keys there; returns the dialog's id."""
    wid = dialog(skip)
    if text is not None:
        h.type_text(text, window=wid)
    h.key(*keys, window=wid)
    return wid


def results(n, event="dialog"):
    got = h._poll(lambda: len(h.reports(event=event)) >= n and h.reports(event=event), 10)
    if not got:
        raise AssertionError(f"{n} {event} reports expected, got {h.reports(event=event)}")
    return [r.get("result") for r in got]


class ScriptDialogs(h.E2ETestCase):
    def test_confirm_is_true_only_for_ok(self):
        at("/t/dialog?kind=confirm&auto=1&repeat=2")
        first = answer("Return")
        self.assertEqual(results(1), [True])
        answer("Escape", skip=(first,))
        self.assertEqual(results(2), [True, False])

    def test_prompt_gives_the_field_text_or_null(self):
        at("/t/dialog?kind=prompt&auto=1&repeat=4")
        seen = []
        # The field starts with the page's default text, selected: typing replaces it.
        for n, (keys, text) in enumerate([(("Return",), None), (("Return",), "Clover"),
                                          (("ctrl+a", "BackSpace", "Return"), None), (("Escape",), "Pip")]):
            seen.append(answer(*keys, text=text, skip=seen))
            results(n + 1)
        self.assertEqual(results(4), ["Bramble", "Clover", "", None])

    def test_alert_returns_only_after_the_dialog_closes(self):
        at("/t/dialog?kind=alert&auto=1")
        h.wait_for_report(event="dialog-open")
        wid = dialog()
        h.assert_no_report(event="dialog", within=1.0)
        h.key("Return", window=wid)
        self.assertEqual(results(1), [None])
        self.assertTrue(h._poll(lambda: gone(wid), 5))


class FileInputs(h.E2ETestCase):
    def pick(self, multiple):
        app = at("/t/dialog?focus=file" + ("&multiple=1" if multiple else ""))
        h.wait_for_report(event="loaded")
        folder = os.path.join(app.home.root, "pick")
        os.makedirs(folder)
        for name in ("a.txt", "b.txt"):
            with open(os.path.join(folder, name), "w") as f:
                f.write(name)
        h.key("space")
        answer("Return", text=folder + "/")
        # The folder lists asynchronously; then select all the chooser allows and press its Open button.
        time.sleep(1.0)
        answer("ctrl+a", "alt+o")
        return h.wait_for_report(event="files")["names"]

    def test_multiple_input_takes_several_files_single_takes_one(self):
        self.assertEqual(self.pick(multiple=True), ["a.txt", "b.txt"])
        h.kill_app()
        self.assertEqual(self.pick(multiple=False), ["a.txt"])

    def test_cancel_gives_the_input_no_files(self):
        at("/t/dialog?focus=file")
        h.wait_for_report(event="loaded")
        h.key("space")
        answer("Escape")
        h.wait_for_report(event="files-cancelled")
        self.assertEqual(h.reports(event="files"), [])


class Downloads(h.E2ETestCase):
    def landed(self, app):
        return sorted(p for p in glob.glob(os.path.join(app.home.root, "**", "*"), recursive=True)
                      if os.path.isfile(p) and os.path.basename(p).startswith("file.zip"))

    def test_save_dialog_offers_the_suggested_name_and_saves_where_it_says(self):
        app = at("/t/download?click=zip")
        answer("Return")
        path = os.path.join(app.home.home, "file.zip")
        self.assertTrue(h._poll(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 10), self.landed(app))
        self.assertEqual(self.landed(app), [path])
        h.kill_app()

        app = at("/t/download?click=zip")
        chosen = os.path.join(app.home.root, "saved", "herd.zip")
        os.makedirs(os.path.dirname(chosen))
        answer("ctrl+a")
        answer("Return", text=chosen)
        self.assertTrue(h._poll(lambda: os.path.exists(chosen) and os.path.getsize(chosen) > 0, 10))
        with open(chosen, "rb") as f:
            self.assertEqual(f.read(4), b"PK\x03\x04")
        self.assertEqual(self.landed(app), [])

    def test_cancelled_save_leaves_nothing(self):
        app = at("/t/download?click=zip")
        wid = answer("Escape")
        self.assertTrue(h._poll(lambda: gone(wid), 5))
        h.wait_for_request(path="/t/file.zip")
        h.assert_no_report(event="script-error", within=1.0)
        self.assertEqual(self.landed(app), [])


class Printing(h.E2ETestCase):
    def print_events(self):
        return [r["event"] for r in h.reports(lambda r: r.get("event") in ("beforeprint", "afterprint"))]

    def test_cancelled_print_dispatches_afterprint_once(self):
        at("/t/probe?k=print-cancel&print=1")
        h.wait_for_report(event="beforeprint")
        answer("Escape")
        h.wait_for_report(event="afterprint")
        h.assert_no_report(lambda r: r.get("event") == "afterprint" and r["seq"] > 3, within=1.5)
        self.assertEqual(self.print_events(), ["beforeprint", "afterprint"])

    def test_quitting_closes_an_open_print_dialog(self):
        at("/t/probe?k=print-quit&print=1")
        h.wait_for_report(event="beforeprint")
        time.sleep(0.5)
        code, seconds = h.quit_app(via="action")
        self.assertEqual(code, 0)
        self.assertLess(seconds, 2.0)

    def test_print_to_file_is_named_after_the_page(self):
        # The delay lets the page's title reach the app before it prints.
        app = at("/t/probe?k=print-file&print=1&delay=300")
        h.wait_for_report(event="beforeprint")
        # The only printer here is "Print to File": select it, then the dialog's Print button.
        answer("Down", "space", "alt+p")
        h.wait_for_report(event="afterprint", timeout=20)
        pdf = os.path.join(app.home.home, "probe.pdf")
        self.assertTrue(h._poll(lambda: os.path.exists(pdf), 5), glob.glob(app.home.root + "/**/*.pdf", recursive=True))
        with open(pdf, "rb") as f:
            self.assertEqual(f.read(5), b"%PDF-")
        # The engine adds its own pair around laying the page out for paper; ours closes the sequence.
        h.assert_no_report(lambda r: r.get("event") == "afterprint" and r["seq"] > 5, within=1.0)
        self.assertEqual(self.print_events(), ["beforeprint", "beforeprint", "afterprint", "afterprint"])


# No camera under Xvfb: the engine's stand-in devices make requests reach the app at all (without them
# every request ends in OverconstrainedError before the app is asked).
MOCK_CAMERA = {"CORVANE_MOCK_CAPTURE_DEVICES": "1"}


def camera_results(frames):
    at(f"/t/media?frames={frames}", env=MOCK_CAMERA)
    want = 1 + len(frames.split(","))
    got = h._poll(lambda: len(h.reports(event="media")) >= want and h.reports(event="media"), 15)
    if not got:
        raise AssertionError(f"media reports: {h.reports(event='media')}")
    return {r["name"]: r["result"] for r in got}


class Camera(h.E2ETestCase):
    def test_main_frame_granted_undelegated_cross_origin_frame_refused(self):
        self.assertEqual(camera_results("cross"), {"main": "granted", "cross": "NotAllowedError"})

    def test_frames_of_the_page_are_refused(self):
        got = camera_results("same,cross-allow")
        self.assertEqual((got["same"], got["cross-allow"]), ("NotAllowedError", "NotAllowedError"))


if __name__ == "__main__":
    unittest.main()
