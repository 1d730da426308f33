"""The installed tree as a person gets it: unpacked into a folder with spaces, run with the build tree out of
sight, announcing itself to the desktop so that a sign-in return opened by the desktop reaches it."""

import glob
import os
import shutil
import subprocess
import tarfile

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401

PAGE = "/t/probe?k=bundle&badge=3"


def install(prefix):
    subprocess.run(["cmake", "--install", h.BUILD_DIR, "--prefix", prefix], check=True, capture_output=True)


def can_hide_build_tree():
    return os.geteuid() == 0 and subprocess.run(["unshare", "--mount", "true"]).returncode == 0


class Bundle(h.E2ETestCase):
    @classmethod
    def setUpClass(cls):
        # Packed and unpacked as scripts/package.sh and a person would.
        cls.root = os.path.join(h.session().tmp, "bundle")
        install(os.path.join(cls.root, "stage", "Corvane"))
        archive = os.path.join(cls.root, "Corvane.tar.xz")
        with tarfile.open(archive, "w:xz") as tar:
            tar.add(os.path.join(cls.root, "stage", "Corvane"), "Corvane")
        cls.folder = os.path.join(cls.root, "My Apps (2)", "Farm stuff")
        with tarfile.open(archive) as tar:
            tar.extractall(cls.folder)
        cls.exe = os.path.join(cls.folder, "Corvane", "bin", "corvane")

    def test_installed_files_pass_the_desktop_validators(self):
        share = os.path.join(self.folder, "Corvane", "share")
        for cmd in (["desktop-file-validate", f"{share}/applications/{h.APP_ID}.desktop"],
                    ["appstreamcli", "validate", "--pedantic", "--no-net", f"{share}/metainfo/{h.APP_ID}.metainfo.xml"]):
            with self.subTest(cmd[0]):
                out = subprocess.run(cmd, capture_output=True, text=True)
                self.assertEqual(out.returncode, 0, out.stdout + out.stderr)
                # The one remark left: the application id has capitals, and it is fixed. The metainfo names its
                # developer both ways, for AppStream before 1.0 (which knows only <developer_name>) and after
                # (which deprecates it), so each remarks on the other's.
                remarks = [line for line in out.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "P:")]
                self.assertEqual([r for r in remarks if "cid-contains-uppercase-letter" not in r
                                  and "unknown-tag developer" not in r and "developer-name-tag-deprecated" not in r],
                                 [])
        # The id reaches the files from the build, once: the entry names the icon and window class by it.
        with open(f"{share}/applications/{h.APP_ID}.desktop") as f:
            entry = f.read()
        self.assertIn(f"\nIcon={h.APP_ID}\n", entry)
        self.assertIn(f"\nStartupWMClass={h.APP_ID}\n", entry)
        with open(f"{share}/metainfo/{h.APP_ID}.metainfo.xml") as f:
            self.assertIn(f'<launchable type="desktop-id">{h.APP_ID}.desktop</launchable>', f.read())
        self.assertTrue(glob.glob(f"{share}/icons/hicolor/scalable/apps/{h.APP_ID}.svg"))
        self.assertTrue(glob.glob(f"{share}/icons/hicolor/256x256/apps/{h.APP_ID}.png"))

    def test_unpacked_bundle_runs_announces_itself_and_takes_sign_in_returns(self):
        exe = self.exe
        if can_hide_build_tree():
            # The app sees an empty folder where the build tree was.
            wrapper = os.path.join(self.root, "hidden-build-tree.sh")
            with open(wrapper, "w") as f:
                f.write('#!/bin/sh\nexec unshare --mount -- sh -c \'mount -t tmpfs none "$0" && exec "$@"\' '
                        f'"{h.BUILD_DIR}" "{exe}" "$@"\n')
            os.chmod(wrapper, 0o755)
            exe = wrapper
        app = h.launch_app(PAGE, loaded=True, exe=exe)
        # The page's messages travel through the web process extension, so the badge proves it was loaded,
        # and the web process maps it from the bundle.
        h.wait_for_badge(count=3, visible=True, timeout=15)
        maps = "".join(open(f"/proc/{pid}/maps").read() for pid in app.web_process_pids())
        self.assertIn(os.path.join(self.folder, "Corvane", "lib", "corvane", "web-extensions"), maps)

        # The desktop resolves the scheme through the entry and default the bundle wrote (their contents:
        # DesktopIntegration unit tests); the second process it starts hands the address to the running one.
        h.expect(lambda: glob.glob(f"{app.env['XDG_DATA_HOME']}/applications/{h.APP_ID}.desktop"), "desktop entry")
        opened = subprocess.run(["gio", "open", "corvane-desktop://auth?code=x"], env=app.env, timeout=20,
                                capture_output=True, text=True)
        self.assertEqual(opened.returncode, 0, opened.stderr)
        self.assertEqual(h.wait_for_report(event="auth", timeout=15)["url"], "corvane-desktop://auth?code=x")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)
