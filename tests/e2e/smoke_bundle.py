"""A bundle made on another (older) release, run as its user would on this one: the page and its bridge, a
link handed to the browser, a sign-in return through the desktop, quitting, and the page as a screen
reader reads it. Run by scripts/debian13.sh with CORVANE_APP pointing at the unpacked bundle's
bin/corvane (not a test_ module: the build's own tests are the other release's)."""

import glob
import json
import os
import subprocess
import unittest

import harness as h
from harness import tearDownModule  # noqa: F401

HEADING = "Good morning, Hollow Brook Farm"

# Every node under the app's own accessible root, as a screen reader walks it (in another process, on
# the session's accessibility bus).
WALK = r"""
import json, sys
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib

def walk(node, path, depth=0):
    try:
        role, name = node.get_role_name(), node.get_name()
        text = Atspi.Text.get_text(node, 0, -1) if node.get_text_iface() else ""
    except GLib.Error:
        return
    yield {"role": role, "name": name, "text": text, "path": path}
    if depth < 60:
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                yield from walk(child, path + [role], depth + 1)

desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    if app is not None and app.get_process_id() == int(sys.argv[1]):
        print(json.dumps(list(walk(app, []))))
        break
else:
    print("[]")
"""


def setUpModule():
    # With the accessibility bus a desktop has, so the page's tree can be read as a screen reader reads it.
    h.start_session(a11y=True)


def accessible_nodes(app):
    # The session's accessibility bus, as the harness found it.
    # A reader that fails (see test_accessibility) is no answer; the next read is another.
    env = dict(app.env, AT_SPI_BUS_ADDRESS=os.environ.get("AT_SPI_BUS_ADDRESS", ""))
    out = subprocess.run(["/usr/bin/python3", "-c", WALK, str(app.pid)], env=env, capture_output=True, text=True,
                         timeout=30)
    return json.loads(out.stdout) if out.returncode == 0 and out.stdout.strip() else []


class OlderReleasesBundle(unittest.TestCase):
    def tearDown(self):
        h.kill_app()

    def test_page_bridge_badge_sign_in_return_and_quit(self):
        app = h.launch_app("/t/probe?k=smoke&badge=4", loaded=True)
        # The badge travels from the page through the bundle's web process extension.
        h.wait_for_badge(count=4, visible=True, timeout=15)
        maps = ""
        for pid in app.web_process_pids():
            with open(f"/proc/{pid}/maps") as f:
                maps += f.read()
        self.assertIn(os.path.join(os.path.dirname(os.path.dirname(h.APP_PATH)), "lib", "corvane"), maps)
        h.expect(lambda: glob.glob(f"{app.env['XDG_DATA_HOME']}/applications/{h.APP_ID}.desktop"), "desktop entry")
        opened = subprocess.run(["gio", "open", "corvane-desktop://auth?code=smoke"], env=app.env, timeout=20,
                                capture_output=True, text=True)
        self.assertEqual(opened.returncode, 0, opened.stderr)
        self.assertEqual(h.wait_for_report(event="auth", timeout=15)["url"], "corvane-desktop://auth?code=smoke")
        status, _ = h.quit_app()
        self.assertEqual(status, 0, app.log())

    def test_an_outside_link_is_handed_to_the_browser(self):
        h.launch_app("/t/links?fill=other", loaded=True)
        h.click(640, 400)
        h.wait_for_opened_uri(f"{h.OTHER_SITE_URL}/outside?from=link")
        self.assertEqual(h.requests_seen(port=h.OUTSIDE_PORT), [])

    def test_a_screen_reader_reads_the_page(self):
        app = h.launch_app("/farm", loaded=True)

        def heading():
            return [n for n in accessible_nodes(app)
                    if n["role"] == "heading" and HEADING in (n["name"] + n["text"])]

        found = h.expect(heading, "the page's heading in the accessibility tree", timeout=30)[0]
        # Inside the app's window, in the page's document.
        self.assertIn("document web", found["path"])
        self.assertIn("frame", found["path"])
