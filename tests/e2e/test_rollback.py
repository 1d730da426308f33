"""An update whose program cannot start is rolled back: the copy it replaced runs again, once says so,
and skips that version from then on."""
import os
import shutil
import subprocess
import tarfile
import time

import harness as h
from test_move import processes_of
from test_updates import FEEDS, NS, release

W = {}


def signed_update(name, break_program):
    """A signed 1.1.0 archive of the bundle whose bin/corvane break_program spoils, and its feed."""
    root = f"{h.session().tmp}/{name}/Corvane"
    shutil.copytree(W["pristine"], root, symlinks=True)
    with open(f"{root}/share/corvane/version", "w") as f:
        f.write("1.1.0\n")
    break_program(f"{root}/bin/corvane")
    archive = f"{W['served']}/{name}.tar.xz"
    with tarfile.open(archive, "w:xz") as t:
        t.add(root, arcname="Corvane")
    item = release("item", archive, "--key", W["key"], "--version", "1.1.0", "--url", f"{FEEDS}/{name}.tar.xz",
                   "--description", "<p>Faster herd lists</p>")
    with open(f"{W['served']}/{name}.xml", "w") as f:
        f.write(f'<?xml version="1.0"?><rss version="2.0" {NS}><channel><title>Corvane</title>{item}</channel></rss>')
    return f"{FEEDS}/{name}.xml"


def exits_with_an_error(program):
    with open(program, "w") as f:
        f.write("#!/bin/sh\necho 'corvane: cannot open the settings' >&2\nexit 1\n")


def cut_off(program):
    with open(program, "r+b") as f:
        f.truncate(4096)


def setUpModule():
    s = h.start_session(demo=False)
    s.start_window_manager()
    W["served"] = f"{s.tmp}/served"
    os.makedirs(W["served"])
    s.start_demo("--updates-dir", W["served"])
    W["pristine"] = f"{s.tmp}/pristine/Corvane"
    subprocess.run(["cmake", "--install", h.BUILD_DIR, "--prefix", W["pristine"]], check=True, capture_output=True)
    W["key"] = f"{s.tmp}/release.key"
    W["public"] = release("keygen", W["key"])
    W["exit1"] = signed_update("exits-1", exits_with_an_error)
    W["unloadable"] = signed_update("cut-off", cut_off)


def tearDownModule():
    h.stop_session()


def version_of(bundle):
    with open(f"{bundle}/share/corvane/version") as f:
        return f.read()


class Rollback(h.E2ETestCase):
    def setUp(self):
        super().setUp()
        self.addCleanup(self.kill_strays)
        folder = f"{h.session().tmp}/{self.id().split('.')[-1]}"
        shutil.rmtree(folder, ignore_errors=True)
        self.folder, self.bundle = folder, f"{folder}/Corvane"
        self.home = h.Home(h.session().tmp)

    def kill_strays(self):
        for pid in processes_of(f"{self.bundle}/bin/corvane"):
            os.kill(pid, 9)

    def install(self, feed_url):
        shutil.copytree(W["pristine"], self.bundle, symlinks=True)
        with open(f"{self.bundle}/share/corvane/updates.ini", "w") as f:
            f.write(f"[Updates]\nFeedURL={feed_url}\nPublicKey={W['public']}\nInterval=3600\n")
        self.home.write_settings({"Corvane": {"lastPath": "/t/probe?k=rollback", "updateLaunchedBefore": True,
                                              "updateAutomaticChecks": True,
                                              "updateLastCheckTime": int(time.time()) - 60}})
        app = h.launch_app(home=self.home, exe=f"{self.bundle}/bin/corvane")
        h.wait_for_report(event="loaded", top=True, timeout=20)
        h.activate_action("check-for-updates")
        self.press("Software Update", app.pid, "Return")  # Install Update
        self.window("Ready to Install", app.pid)
        return app

    def window(self, title, pid, timeout=20):
        return h.expect(lambda: h.windows(pid=pid, name=f"^{title}$"), f"window {title!r}", timeout)[0]

    def press(self, title, pid, *keys):
        window = self.window(title, pid)
        time.sleep(0.5)  # mapped is not yet focusable
        h.key(*keys, window=window)

    def the_previous_copy_runs_and_says_so_once(self):
        """The old program is back in its place, alone in its folder, with the version skipped and the notice up."""
        pids = h.expect(lambda: processes_of(f"{self.bundle}/bin/corvane"), "the previous copy running", 30)
        self.assertEqual(version_of(self.bundle), version_of(W["pristine"]))
        h.expect(lambda: os.listdir(self.folder) == ["Corvane"], "the withdrawn copy removed")
        notice = self.window("Update Withdrawn", pids[0])
        self.assertEqual(self.home.read_settings()["Corvane"].get("updateSkippedVersion"), "1.1.0")
        h.key("Return", window=notice)
        h.expect(lambda: not h.windows(pid=pids[0], name="^Update Withdrawn$"), "the notice closed")
        for pid in pids:
            os.kill(pid, 9)

    def test_a_program_that_exits_with_an_error_is_rolled_back_after_install_and_relaunch(self):
        app = self.install(W["exit1"])
        self.press("Ready to Install", app.pid, "Return")  # Install and Relaunch
        self.assertEqual(app.proc.wait(10), 0)
        self.the_previous_copy_runs_and_says_so_once()

        # A plain start after that: the previous copy, no second notice, and the scheduled check skips 1.1.0.
        stored = self.home.read_settings()
        stored["Corvane"]["updateLastCheckTime"] = int(time.time()) - 7200
        self.home.write_settings(stored)
        mark = len(h.session().requests())
        again = h.launch_app(home=self.home, exe=f"{self.bundle}/bin/corvane")
        h.wait_for_report(event="loaded", top=True, timeout=20)
        h.expect(lambda: [r for r in h.session().requests()[mark:] if r["path"] == "/updates/exits-1.xml"],
                 "the scheduled check", 15)
        h.expect(lambda: int(self.home.read_settings()["Corvane"]["updateLastCheckTime"]) > time.time() - 30,
                 "the check done")
        self.assertEqual(h.windows(pid=again.pid, name="^(Update Withdrawn|Software Update|Ready to Install)$"), [])
        self.assertEqual(os.listdir(self.folder), ["Corvane"])
        self.assertEqual(version_of(self.bundle), version_of(W["pristine"]))

    def test_a_program_that_cannot_be_loaded_is_rolled_back_at_the_next_start(self):
        app = self.install(W["unloadable"])
        self.assertEqual(h.quit_app()[0], 0)  # installed as it quits
        self.assertEqual(app.proc.returncode, 0)
        self.assertEqual(sorted(os.listdir(self.folder)), [".Corvane-update-previous", "Corvane"])
        self.assertEqual(version_of(self.bundle), "1.1.0\n")
        # Started as from the desktop entry: the launcher finds the new program unable to run.
        h.launch_app(home=self.home, exe=f"{self.bundle}/bin/corvane")
        self.the_previous_copy_runs_and_says_so_once()
