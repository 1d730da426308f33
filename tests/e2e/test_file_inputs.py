"""A page's file inputs, answered through the desktop's file chooser with the keyboard and the pointer, and
read as a screen reader reads it where the toolkit puts the chooser's rows in the tree."""

import os
import subprocess
import time

import harness as h
import test_accessibility as reader
from harness import tearDownModule  # noqa: F401
from test_dialogs import answer, dialog

# GTK 4.8 draws the chooser's rows without putting them in the accessibility tree; 4.10 and later read them.
ROWS_READ = subprocess.run(["pkg-config", "--atleast-version=4.10", "gtk4"]).returncode == 0


def setUpModule():
    h.start_session(a11y=True)


FILES = ("a.txt", "b.txt")


def rows(pid):
    """{file name: selected} for the chooser's rows of our files, as read now."""
    tree = reader.snapshot(pid) or []
    return {name: "selected" in n.states for n in tree if n.role == "table-row"
            for name in FILES if n.name.startswith(name + " ")}


class FileInputs(h.E2ETestCase):
    def open_chooser(self, path):
        app = h.launch_app(path)
        h.wait_for_report(event="loaded")
        h.key("space")
        return app

    def pick(self, multiple):
        app = self.open_chooser("/t/dialog?focus=file" + "&multiple=1" * multiple)
        folder = os.path.join(app.home.root, "pick")
        os.makedirs(folder)
        for name in FILES:
            with open(os.path.join(folder, name), "w") as f:
                f.write(name)
        # The path is pasted whole into the chooser's location field, as a person pastes a path they copied:
        # typed, GTK 4.18 completes each character as it comes, and a long path comes out garbled.
        wid = dialog()
        h.key("ctrl+l", window=wid)
        h.paste_text(folder + "/", window=wid)
        h.key("Return", window=wid)
        # The folder lists asynchronously. A click on the list's empty part below the two files puts the
        # keyboard there; then select all the chooser allows and press its Open button.
        if ROWS_READ:
            h.expect(lambda: set(rows(app.pid)) == set(FILES), "the folder's two files listed")
        else:
            time.sleep(1.0)
        geo = h.window_geometry(wid)
        h.click(geo["WIDTH"] * 6 // 10, geo["HEIGHT"] * 65 // 100, window=wid)
        answer("ctrl+a")
        if ROWS_READ:
            def selected():
                return sorted(name for name, on in rows(app.pid).items() if on)
            h.expect(lambda: selected() == ["a.txt", "b.txt"] if multiple else len(selected()) == 1,
                     "the files selected")
        answer("alt+o")
        return h.wait_for_report(event="files")["names"]

    def test_multiple_input_takes_several_files_single_takes_one(self):
        self.assertEqual(self.pick(multiple=True), ["a.txt", "b.txt"])
        h.kill_app()
        self.assertEqual(self.pick(multiple=False), ["a.txt"])

    def test_cancel_gives_the_input_no_files(self):
        self.open_chooser("/t/dialog?focus=file")
        answer("Escape")
        h.wait_for_report(event="files-cancelled")
        self.assertEqual(h.reports(event="files"), [])
