"""The updater of a bundle: a signed feed on the demo service, archives made here with the release tool."""
import io
import os
import shutil
import subprocess
import tarfile
import time

import harness as h
import screen

RELEASE = os.environ.get("CORVANE_RELEASE") or os.path.join(h.BUILD_DIR, "tools", "corvane-release")
FEEDS = f"{h.BASE_URL}/updates"
NS = 'xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"'
W = {}


def release(*args):
    return subprocess.run([RELEASE, *args], check=True, capture_output=True, text=True).stdout.strip()


def entry(name, data=b"", link=None, kind=tarfile.REGTYPE):
    info = tarfile.TarInfo(name)
    info.type, info.linkname = kind, link or ""
    info.size = len(data) if kind == tarfile.REGTYPE else 0
    return info, data


def tar_xz(path, root, extra=()):
    with tarfile.open(path, "w:xz") as t:
        t.add(root, arcname="Corvane")
        for name, data in extra:
            info, data = (name, data) if isinstance(name, tarfile.TarInfo) else entry(name, data)
            t.addfile(info, io.BytesIO(data))


def feed(name, archive, version="1.1.0", length=None, advertised=None, notes=None):
    """A feed offering archive (which holds version), as advertised when that is given."""
    about = ("--notes-url", notes) if notes else ("--description", "<p>Calving <b>reports</b></p>")
    item = release("item", archive, "--key", W["key"], "--version", version, "--url",
                   f"{FEEDS}/{os.path.basename(archive)}", *about)
    if advertised is not None:
        item = item.replace(f">{version}</sparkle:", f">{advertised}</sparkle:")
    if length is not None:
        item = item.replace(f'length="{os.path.getsize(archive)}"', f'length="{length}"')
    with open(f"{W['served']}/{name}", "w") as f:
        f.write(f'<?xml version="1.0"?><rss version="2.0" {NS}><channel><title>Corvane</title>{item}</channel></rss>')
    return f"{FEEDS}/{name}"


def setUpModule():
    s = h.start_session(demo=False)
    W["served"] = f"{s.tmp}/served"
    os.makedirs(W["served"])
    s.start_demo("--updates-dir", W["served"])
    W["pristine"] = f"{s.tmp}/pristine/Corvane"
    subprocess.run(["cmake", "--install", h.BUILD_DIR, "--prefix", W["pristine"]], check=True, capture_output=True)
    W["key"] = f"{s.tmp}/release.key"
    W["public"] = release("keygen", W["key"])

    newer = f"{s.tmp}/newer/Corvane"
    shutil.copytree(W["pristine"], newer, symlinks=True)
    with open(f"{newer}/share/corvane/RELEASE", "w") as f:
        f.write("1.1.0\n")
    with open(f"{newer}/share/corvane/version", "w") as f:
        f.write("1.1.0\n")
    # As a release is built: with a feed, so the new copy has an updater (which also ends its trial).
    with open(f"{newer}/share/corvane/updates.ini", "w") as f:
        f.write(f"[Updates]\nFeedURL={FEEDS}/same.xml\nPublicKey={W['public']}\n")
    good = f"{W['served']}/Corvane-1.1.0.tar.xz"
    tar_xz(good, newer)
    feed("good.xml", good)
    feed("same.xml", good, advertised="1.0.0")
    feed("long.xml", good, length=os.path.getsize(good) - 100)
    tampered = f"{W['served']}/tampered.tar.xz"
    shutil.copy(good, tampered)
    feed("tampered.xml", tampered)
    with open(tampered, "r+b") as f:
        f.seek(os.path.getsize(tampered) // 2)
        byte = f.read(1)
        f.seek(-1, 1)
        f.write(bytes([byte[0] ^ 1]))
    # An older signed release, replayed by whoever controls the feed as if it were the newest.
    older = f"{s.tmp}/older/Corvane"
    shutil.copytree(W["pristine"], older, symlinks=True)
    with open(f"{older}/share/corvane/version", "w") as f:
        f.write("0.9.0\n")
    replayed = f"{W['served']}/Corvane-0.9.0.tar.xz"
    tar_xz(replayed, older)
    feed("replayed.xml", replayed, version="0.9.0", advertised="1.1.0")
    escape = f"{W['served']}/escape.tar.xz"
    tar_xz(escape, newer, extra=[("Corvane/../../../escaped-update", b"x")])
    feed("escape.xml", escape)
    # Each link is inside when read on its own; together they reach two folders above the staging folder,
    # which for a bundle in ~/Applications is home.
    chain = f"{W['served']}/chain.tar.xz"
    tar_xz(chain, newer, extra=[entry("Corvane/d/e/s", link="../../..", kind=tarfile.SYMTYPE),
                                entry("Corvane/x", link="d/e", kind=tarfile.SYMTYPE),
                                entry("Corvane/h", link="Corvane/x/s", kind=tarfile.LNKTYPE),
                                entry("Corvane/h/.profile", b"echo escaped\n")])
    feed("chain.xml", chain)
    through = f"{W['served']}/through.tar.xz"
    tar_xz(through, newer, extra=[entry("Corvane/a/l", link="..", kind=tarfile.SYMTYPE),
                                  entry("Corvane/out", link="a/l/..", kind=tarfile.SYMTYPE)])
    feed("through.xml", through)
    # Notes that would reload themselves elsewhere, and one link, across the whole view, to the outside.
    with open(f"{W['served']}/notes.html", "w") as f:
        f.write('<!doctype html><meta http-equiv="refresh" content="0; url=/t/landed?from=notes-refresh">'
                '<style>html,body{margin:0;height:100%;background:#ff00ff}a{position:fixed;inset:0}</style>'
                f'<a href="{h.OUTSIDE_URL}/outside?from=notes">What is new</a>')
    feed("notes.xml", good, notes=f"{FEEDS}/notes.html")
    # A small feed whose one entity, used ten thousand times, would be a gigabyte of title.
    with open(f"{W['served']}/entities.xml", "w") as f:
        f.write(f'<?xml version="1.0"?><!DOCTYPE rss [<!ENTITY big "{"x" * 100000}">]>'
                f'<rss version="2.0" {NS}><channel><item><title>{"&big;" * 10000}</title></item></channel></rss>')


def tearDownModule():
    h.stop_session()


def listing(root):
    out = []
    for base, dirs, files in os.walk(root):
        out += [os.path.relpath(os.path.join(base, n), root) for n in dirs + files]
    return sorted(out)


class Updates(h.E2ETestCase):
    def bundle(self, feed_url, interval=3600, folder=None):
        """A fresh copy of the bundle whose updates.ini names feed_url."""
        folder = folder or f"{h.session().tmp}/{self.id().split('.')[-1]}"
        shutil.rmtree(folder, ignore_errors=True)
        path = f"{folder}/Corvane"
        shutil.copytree(W["pristine"], path, symlinks=True)
        with open(f"{path}/share/corvane/updates.ini", "w") as f:
            f.write(f"[Updates]\nFeedURL={feed_url}\nPublicKey={W['public']}\nInterval={interval}\n")
        return path

    def launch(self, bundle, home=None, **settings):
        home = home or h.Home(h.session().tmp)
        stored = {"lastPath": "/t/probe?k=updates", "updateLaunchedBefore": True, "updateAutomaticChecks": False}
        stored.update(settings)
        home.write_settings({"Corvane": stored})
        app = h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        h.wait_for_report(event="loaded", top=True, timeout=20)
        return app

    def window(self, title, timeout=15):
        return h.expect(lambda: h.windows(name=f"^{title}$"), f"window {title!r}", timeout)[0]

    def press(self, title, *keys):
        window = self.window(title)
        time.sleep(0.5)  # mapped is not yet focusable
        h.key(*keys, window=window)

    def check_enabled(self):
        out = h.run("gdbus", "call", "--session", "--dest", h.APP_ID, "--object-path", h.APP_OBJECT_PATH,
                    "--method", "org.gtk.Actions.Describe", "check-for-updates")
        return out.startswith("((true,")

    def feed_requests(self, name):
        return [r for r in h.requests_seen() if r["path"] == f"/updates/{name}"]

    def test_a_found_update_downloads_then_install_and_relaunch_starts_the_new_copy(self):
        bundle = self.bundle(f"{FEEDS}/good.xml")
        before = listing(bundle)
        app = self.launch(bundle)
        self.assertTrue(self.check_enabled())
        h.activate_action("check-for-updates")
        self.press("Software Update", "Return")  # Install Update
        self.window("Ready to Install")
        self.assertTrue(self.feed_requests("Corvane-1.1.0.tar.xz"))
        staged = os.path.join(os.path.dirname(bundle), ".Corvane-update-staged")
        self.assertTrue(os.path.isfile(f"{staged}/Corvane/share/corvane/RELEASE"))
        self.assertEqual(listing(bundle), before)  # nothing changes while it runs
        self.press("Ready to Install", "Return")  # Install and Relaunch
        self.assertEqual(app.proc.wait(10), 0)
        folder = os.path.dirname(bundle)
        self.assertEqual(sorted(os.listdir(folder)), [".Corvane-update-previous", "Corvane"])
        with open(f"{bundle}/share/corvane/RELEASE") as f:
            self.assertEqual(f.read(), "1.1.0\n")
        self.assertEqual(h.read_settings()["Corvane"]["updateAutomaticDownloads"], "false")
        relaunched = h.expect(lambda: h.run("pgrep", "-f", f"^{bundle}/bin/corvane", check=False).split(), "the new copy")
        try:
            h.wait_for_report(event="loaded", top=True, timeout=20, since=len(h.session().reports()))
            h.expect(lambda: os.listdir(folder) == ["Corvane"], "the kept copy removed")
        finally:
            for pid in relaunched:
                os.kill(int(pid), 9)

    def test_refused_updates_leave_the_running_bundle_and_home_intact(self):
        # In ~/Applications, as users keep it: the linked archives reach two folders above their staging folder.
        home = h.Home(h.session().tmp)
        with open(f"{home.home}/.profile", "w") as f:
            f.write("# mine\n")
        for name in ("tampered.xml", "long.xml", "escape.xml", "replayed.xml", "chain.xml", "through.xml"):
            with self.subTest(name):
                bundle = self.bundle(f"{FEEDS}/{name}", folder=f"{home.home}/Applications")
                before = listing(bundle)
                self.launch(bundle, home=home)
                h.activate_action("check-for-updates")
                self.press("Software Update", "Return")
                self.window("Update Error")
                self.assertEqual(h.quit_app()[0], 0)
                self.assertEqual(listing(bundle), before)
                self.assertEqual(os.listdir(os.path.dirname(bundle)), ["Corvane"])
                for above in (home.root, h.session().tmp):
                    self.assertFalse(os.path.exists(f"{above}/escaped-update"))
                with open(f"{home.home}/.profile") as f:
                    self.assertEqual(f.read(), "# mine\n")

    def test_a_feed_with_entities_is_refused_while_the_window_answers(self):
        self.launch(self.bundle(f"{FEEDS}/entities.xml"))
        h.activate_action("check-for-updates")
        slowest, deadline = 0.0, time.monotonic() + 20
        while not h.windows(name="^Update Error$"):
            self.assertLess(time.monotonic(), deadline, "no Update Error window")
            started = time.monotonic()
            self.check_enabled()
            slowest = max(slowest, time.monotonic() - started)
            self.assertLess(time.monotonic() - started, 2, "the app did not answer on the session bus")
        self.assertLess(slowest, 1)
        self.assertEqual(h.quit_app()[0], 0)

    def test_release_notes_see_none_of_the_apps_cookies_and_open_clicks_in_the_browser(self):
        self.launch(self.bundle(f"{FEEDS}/notes.xml"), lastPath="/t/cookie")
        self.assertIn("farm_session=hollow-brook", h.wait_for_request(path="/t/probe?k=cookie").get("cookie", ""))
        h.activate_action("check-for-updates")
        window = self.window("Software Update")
        notes = h.wait_for_request(path="/updates/notes.html")
        self.assertNotIn("cookie", notes)
        geo = h.window_geometry(window)
        rect = (geo["X"], geo["Y"], geo["WIDTH"], geo["HEIGHT"])
        shot = screen.wait_for(lambda s: s.bounds("FF00FF", rect))
        x, y, w, hgt = shot.bounds("FF00FF", rect)
        h.click(x - geo["X"] + w // 2, y - geo["Y"] + hgt // 2, window=window)
        h.wait_for_opened_uri(f"{h.OUTSIDE_URL}/outside?from=notes")
        self.assertEqual(h.requests_seen(path="/outside?from=notes"), [])
        self.assertEqual(h.requests_seen(path="/t/landed?from=notes-refresh"), [])
        self.assertEqual(len(h.requests_seen(path="/updates/notes.html")), 1)
        self.assertEqual(h.quit_app()[0], 0)

    def test_skip_later_and_nothing_new(self):
        bundle = self.bundle(f"{FEEDS}/good.xml")
        self.launch(bundle)
        h.activate_action("check-for-updates")
        self.press("Software Update", "shift+Tab", "Return")  # Remind Me Later
        h.expect(lambda: not h.windows(name="^Software Update$"), "the window closed")
        self.assertNotIn("updateSkippedVersion", h.read_settings()["Corvane"])
        h.activate_action("check-for-updates")
        self.press("Software Update", "shift+Tab", "shift+Tab", "Return")  # Skip This Version
        h.expect(lambda: h.read_settings()["Corvane"].get("updateSkippedVersion") == "1.1.0", "skipped version")
        h.kill_app()

        with open(f"{bundle}/share/corvane/updates.ini", "w") as f:
            f.write(f"[Updates]\nFeedURL={FEEDS}/same.xml\nPublicKey={W['public']}\n")
        self.launch(bundle)
        h.activate_action("check-for-updates")
        self.window("Up to Date")

    def test_scheduled_checks_run_when_due_and_only_then(self):
        bundle = self.bundle(f"{FEEDS}/same.xml")
        self.launch(bundle, updateAutomaticChecks=True)
        h.expect(lambda: self.feed_requests("same.xml"), "a scheduled check", 10)
        h.expect(lambda: "updateLastCheckTime" in h.read_settings()["Corvane"], "the check time stored")
        h.kill_app()
        self.launch(bundle, updateAutomaticChecks=True, updateLastCheckTime=int(time.time()) - 60)
        time.sleep(3)
        self.assertEqual(self.feed_requests("same.xml"), [])
        self.assertTrue(self.check_enabled())
        h.kill_app()
        # With automatic installs on, a scheduled check downloads quietly and the quit installs.
        bundle = self.bundle(f"{FEEDS}/good.xml")
        self.launch(bundle, updateAutomaticChecks=True, updateAutomaticDownloads=True)
        folder = os.path.dirname(bundle)
        h.expect(lambda: sorted(os.listdir(folder)) == [".Corvane-update-staged", "Corvane"], "staged update", 15)
        self.assertEqual(h.windows(name="^(Software Update|Ready to Install)$"), [])
        self.assertEqual(h.quit_app()[0], 0)
        self.assertTrue(os.path.exists(f"{bundle}/share/corvane/RELEASE"))

    def test_the_second_launch_asks_once_whether_to_check(self):
        bundle = self.bundle(f"{FEEDS}/same.xml")
        home = h.Home(h.session().tmp)
        home.write_settings({"Corvane": {"lastPath": "/t/probe?k=updates"}})
        h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        h.wait_for_report(event="loaded", top=True, timeout=20)
        time.sleep(1)
        self.assertEqual(h.windows(name="^Automatic Updates$"), [])
        h.quit_app()
        h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        self.press("Automatic Updates", "Return")  # Check Automatically
        h.expect(lambda: home.read_settings()["Corvane"].get("updateAutomaticChecks") == "true", "the answer")
        h.expect(lambda: self.feed_requests("same.xml"), "the first scheduled check", 10)

    def test_no_updater_for_a_package_managed_copy(self):
        # The build tree's copy is not a bundle (as a package's copy under /usr is not).
        home = h.Home(h.session().tmp)
        home.write_settings({"Corvane": {"lastPath": "/t/probe?k=updates", "updateAutomaticChecks": True}})
        h.launch_app(home=home)
        h.wait_for_report(event="loaded", top=True, timeout=20)
        self.assertFalse(self.check_enabled())
