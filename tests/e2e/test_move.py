"""The offer at launch to move a downloaded bundle into ~/Applications, and the relaunch of the moved copy."""

import os
import pwd
import re
import shutil
import signal
import subprocess
import time

import harness as h
from harness import tearDownModule  # noqa: F401

setUpModule = h.setUpModuleWithWindowManager

MARKS = ("user.xdg.origin.url", "user.xdg.referrer.url")
DECLINED = "moveToApplicationsDeclined"
COMPLAINT = re.compile(r"^.*\b(Gtk|Gdk|Gsk|Adwaita|GLib|GLib-GObject)-(CRITICAL|WARNING)\b.*$", re.M)
# libadwaita 1.7's alert in a window of its own says this while it lays out, whatever it holds.
LAYOUT_REMARK = re.compile(r"Trying to measure GtkLabel 0x[0-9a-f]+ for width of \d+, but it needs at least \d+$")
_template = None
# The app was built against this libadwaita (it is built here): 1.5 and later give it their alert.
ADW_ALERT = subprocess.run(["pkg-config", "--atleast-version=1.5", "libadwaita-1"]).returncode == 0


def bundle_template():
    """The app installed as a relocatable bundle, once per module."""
    global _template
    if _template is None:
        _template = f"{h.session().tmp}/bundle/Corvane"
        subprocess.run(["cmake", "--install", h.BUILD_DIR, "--prefix", _template], check=True, capture_output=True)
    return _template


def every_path(root):
    yield root
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            yield os.path.join(folder, name)


def marked(root):
    return [p for p in every_path(root) for m in MARKS if m in os.listxattr(p, follow_symlinks=False)]


def processes_of(exe):
    """Live processes whose executable is exe."""
    pids = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/stat") as stat:
                if os.readlink(f"/proc/{pid}/exe") == exe and stat.read().split()[2] != "Z":
                    pids.append(int(pid))
        except OSError:
            pass
    return pids


class Move(h.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.home = h.Home(h.session().tmp)
        home = self.home.home
        self.downloaded = f"{home}/Fetched/Corvane"  # the user's download folder, by another name
        self.installed = f"{home}/Applications/Corvane"
        os.makedirs(f"{home}/Desktop")
        h._write(f"{home}/.config/user-dirs.dirs",
                 'XDG_DOWNLOAD_DIR="$HOME/Fetched"\nXDG_DESKTOP_DIR="$HOME/Desktop"\n')
        shutil.copytree(bundle_template(), self.downloaded, symlinks=True)
        os.symlink("corvane", f"{self.downloaded}/bin/corvane-current")
        # What a browser leaves on what it downloaded (and an archive tool carries over when unpacking);
        # Linux keeps user attributes off symbolic links.
        for path in filter(lambda p: not os.path.islink(p), every_path(self.downloaded)):
            os.setxattr(path, MARKS[0], b"https://corvane.example/get", follow_symlinks=False)
        os.setxattr(f"{self.downloaded}/bin/corvane", MARKS[1], b"https://corvane.example/", follow_symlinks=False)
        self.addCleanup(self.kill_moved)

    def kill_moved(self):
        for pid in processes_of(f"{self.installed}/bin/corvane"):
            try:
                os.killpg(pid, signal.SIGKILL)  # it leads its own session, with its web processes
            except ProcessLookupError:
                pass

    def launch(self, exe=None, args=()):
        return h.launch_app(home=self.home, args=args, exe=exe or f"{self.downloaded}/bin/corvane")

    def offer(self, app):
        """The offer's window once it has settled: a small one, with no main window beside it."""
        wid = h.expect(lambda: (h.windows(app.pid) or [None])[0], "offer", 15)
        sizes = [None]
        settled = lambda: sizes.append(h.window_geometry(wid)) or sizes[-1] == sizes[-2]  # noqa: E731
        h.expect(lambda: time.sleep(0.2) or settled(), "settled offer", 5)
        self.assertLess(sizes[-1]["WIDTH"], 900, "the main window came instead of the offer")
        return wid, sizes[-1]

    def move(self, wid, geo):
        # The buttons share the dialog's bottom row: "Not Now" on the left half, the default on the right.
        # libadwaita 1.5's alert (the app's from then on) keeps a margin under them.
        h.click(geo["WIDTH"] * 3 // 4, -40 if ADW_ALERT else -15, window=wid)

    def tick(self, wid):
        # From the focused default button, back past "Not Now" to the check box.
        h.key("shift+Tab", "shift+Tab", "space", window=wid)

    def not_now(self, wid):
        self.tick(wid)
        h.key("Tab", "space", window=wid)

    def assert_clean_log(self, app):
        complaints = [m.group(0) for m in COMPLAINT.finditer(app.log())]
        self.assertEqual([c for c in complaints if not LAYOUT_REMARK.search(c)], [])

    def exited(self, app):
        try:
            return app.proc.wait(15)
        except subprocess.TimeoutExpired:
            with open(f"{self.home.root}/app.log") as f:
                print(f.read()[-3000:])
            raise

    def test_move_replaces_an_older_copy_trashes_the_download_and_relaunches(self):
        os.makedirs(self.installed)
        h._write(f"{self.installed}/older", "")
        app = self.launch()
        wid, geo = self.offer(app)
        self.move(wid, geo)
        self.assertEqual(self.exited(app), 0)

        self.assertEqual(os.stat(f"{self.installed}/bin/corvane").st_mode & 0o777, 0o755)
        self.assertEqual(os.readlink(f"{self.installed}/bin/corvane-current"), "corvane")
        self.assertFalse(os.path.exists(f"{self.installed}/older"))
        self.assertEqual(marked(self.installed), [])
        self.assertFalse(os.path.exists(self.downloaded))
        trash = f"{self.home.home}/.local/share/Trash/files"
        trashed = sorted(os.listdir(trash))
        self.assertEqual(len(trashed), 2, trashed)
        self.assertEqual(sorted(os.path.exists(f"{trash}/{t}/older") for t in trashed), [False, True])
        # The new copy shows the app: had it started before this one was gone, it would only have handed
        # over to it and ended.
        moved = h.expect(lambda: processes_of(f"{self.installed}/bin/corvane"), "moved copy", 15)
        h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
        self.assertEqual(len(moved), 1)
        wid = h.expect(lambda: (h.windows(moved[0]) or [None])[0], "moved copy's window", 15)
        self.assertEqual(h.window_geometry(wid)["WIDTH"], 1280)
        self.assertIsNone(h.saved(DECLINED))

    def test_not_now_with_dont_ask_again_is_stored_and_leaves_the_bundle(self):
        app = self.launch()
        wid, _ = self.offer(app)
        self.not_now(wid)
        h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
        # The engine was warmed up while the offer waited, without asking the service for anything.
        self.assertEqual(h.requests_seen(port=h.APP_PORT)[0]["path"], "/farm")
        self.assertEqual(h.saved(DECLINED), "true")
        self.assertTrue(os.path.exists(self.downloaded))
        self.assertFalse(os.path.exists(self.installed))

    def test_escape_or_the_window_managers_close_is_not_now_and_keeps_the_tick(self):
        for keys, ticked in (("Escape", True), ("Escape", False), ("alt+F4", True), ("alt+F4", False)):
            with self.subTest(keys=keys, ticked=ticked):
                app = self.launch()
                wid, _ = self.offer(app)
                if ticked:
                    self.tick(wid)
                h.key(keys, window=wid)
                h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
                self.assertTrue(app.alive())
                self.assertEqual(h.saved(DECLINED), "true" if ticked else None)
                self.assertTrue(os.path.exists(self.downloaded))
                self.assertFalse(os.path.exists(self.installed))
                self.assert_clean_log(app)
                h.kill_app()

                # The next launch asks again only when the box was left alone.
                again = self.launch()
                first = h.expect(lambda: (h.windows(again.pid) or [None])[0], "window", 15)
                if ticked:
                    h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
                    self.assertEqual(h.window_geometry(first)["WIDTH"], 1280)
                else:
                    wid, _ = self.offer(again)
                    h.key("Escape", window=wid)
                    h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
                self.assert_clean_log(again)
                h.kill_app()
                if os.path.exists(self.home.settings_path):
                    os.remove(self.home.settings_path)

    def test_unwritable_destination_fails_and_keeps_running_from_here(self):
        # The failure alert's one button, or Escape, or the window manager's close.
        for keys in ("Return", "Escape", "alt+F4"):
            with self.subTest(keys=keys):
                h._write(f"{self.home.home}/Applications", "not a folder")
                app = self.launch()
                wid, geo = self.offer(app)
                self.move(wid, geo)
                failure = h.expect(lambda: [w for w in h.windows(app.pid) if w != wid], "failure alert", 15)[0]
                self.assertLess(h.window_geometry(failure)["WIDTH"], 900)
                h.key(keys, window=failure)
                h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
                self.assertTrue(app.alive())
                self.assertNotEqual(marked(self.downloaded), [])
                self.assertTrue(os.path.isfile(f"{self.home.home}/Applications"))
                self.assertIsNone(h.saved(DECLINED))
                self.assert_clean_log(app)
                h.kill_app()

    def test_copy_running_from_the_destination_comes_forward_and_nothing_is_touched(self):
        shutil.copytree(bundle_template(), self.installed, symlinks=True)
        first = self.launch(exe=f"{self.installed}/bin/corvane")
        first_window = first.window_id()
        h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)
        h.key("ctrl+w", window=first_window)  # closing only hides it
        h.expect(lambda: not h.windows(first.pid), "hidden window", 5)
        trees = lambda: [sorted(every_path(self.downloaded)), sorted(every_path(self.installed)),  # noqa: E731
                         os.path.exists(f"{self.home.home}/.local/share/Trash")]
        before = trees()

        second = self.launch()
        self.assertEqual(second.proc.wait(15), 0)
        h.expect(lambda: first_window in h.windows(first.pid), "running copy's window back", 10)
        self.assertTrue(first.alive())
        self.assertEqual(h.windows(second.pid), [])
        self.assertEqual(trees(), before)
        self.assertNotEqual(marked(self.downloaded), [])

    def test_read_only_volume_is_copied_from_left_alone_and_unmounted(self):
        if os.getuid() != 0 or subprocess.run(["unshare", "-m", "true"]).returncode != 0:
            self.skipTest("mounting needs root and a mount namespace of its own")
        volume = f"/media/{pwd.getpwuid(os.getuid()).pw_name}/CORVANE"
        # A read-only volume where the desktop mounts removable media, seen by the app alone. A file system
        # of its own (not a bind mount, which GIO takes for the system's and will not unmount).
        mount = (f"mount -t tmpfs none /media && mkdir -p {volume} && mount -t ramfs corvane {volume} && "
                 f"cp -a {self.downloaded} {volume}/ && mount -o remount,bind,ro {volume} && "
                 f"exec {volume}/Corvane/bin/corvane")
        app = self.launch(exe="/usr/bin/unshare", args=["-m", "--propagation", "private", "/bin/sh", "-c", mount])
        wid, geo = self.offer(app)
        self.move(wid, geo)
        self.assertEqual(self.exited(app), 0)

        self.assertTrue(os.access(f"{self.installed}/bin/corvane", os.X_OK))
        self.assertEqual(marked(self.installed), [])
        self.assertFalse(os.path.exists(f"{self.home.home}/.local/share/Trash"))
        moved = h.expect(lambda: processes_of(f"{self.installed}/bin/corvane"), "moved copy", 15)[0]
        h.wait_for_report(event="loaded", page="/farm", top=True, timeout=30)

        def mount_points():  # as the moved copy, in the volume's namespace, sees them
            with open(f"/proc/{moved}/mountinfo") as f:
                return [line.split()[4] for line in f]
        self.assertIn("/media", mount_points())
        self.assertTrue(h.poll(lambda: volume not in mount_points(), 10), "the volume is still mounted")
