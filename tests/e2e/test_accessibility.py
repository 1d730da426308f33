"""What a screen reader reads of the app's own controls over AT-SPI: the application's name, the strip and
its menus, the offline screen, the page's dialogs, About and the move offer at launch. The page's content is
the engine's and, with GTK 4.8, not in the tree."""

import collections
import json
import os
import re
import shutil
import subprocess

import harness as h
from harness import tearDownModule  # noqa: F401

# What a person acts on; each must read as what it shows. (Roles by their enum's nick, a push button's as
# libatspi 2.46 named it: 2.56 calls it "button".)
CONTROLS = {"push-button", "toggle-button", "check-box", "radio-button", "menu-item", "check-menu-item",
            "radio-menu-item", "entry", "password-text"}
TYPE_NAME = re.compile(r"^(Gtk|Adw|WebKit)[A-Z]")

# The app's tree as a screen reader walks it, read by a process of its own each time: GTK 4.18 can hand
# libatspi a node that goes while it is read (a window being built or closed), and libatspi may then abort
# or corrupt its reader. A reader that fails is no answer; the next read is another.
READER = r"""
import json, sys
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib
GLib.log_set_handler("dbind", GLib.LogLevelFlags.LEVEL_WARNING, lambda *_: None, None)

def walk(node, path, out):
    try:
        role = node.get_role()
        out.append({"role": "push-button" if role == Atspi.Role.PUSH_BUTTON else role.value_nick,
                    "name": node.get_name() or "", "path": path,
                    "states": [s.value_nick for s in node.get_state_set().get_states()]})
        children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
    except GLib.Error:
        return  # gone while walked
    if len(path) < 60:
        for i, child in enumerate(children):
            if child is not None:
                walk(child, path + [i], out)

desktop = Atspi.get_desktop(0)
for i in range(desktop.get_child_count()):
    app = desktop.get_child_at_index(i)
    try:
        if app is not None and app.get_process_id() == int(sys.argv[1]):
            out = []
            walk(app, [], out)
            print(json.dumps(out))
            break
    except GLib.Error:
        pass
"""

Node = collections.namedtuple("Node", "role name states path")


def setUpModule():
    # Some tests start the demo service themselves.
    h.start_session(demo=False, a11y=True).start_window_manager()


def service_up(test):
    test.addCleanup(h.session().stop, h.session().start_demo())


def snapshot(pid):
    """Every node of process pid's tree, root first; None when the reader got no answer."""
    env = dict(h.session().env, AT_SPI_BUS_ADDRESS=h.session().a11y_bus)
    try:
        out = subprocess.run(["/usr/bin/python3", "-c", READER, str(pid)], env=env, capture_output=True, text=True,
                             timeout=30)
    except subprocess.TimeoutExpired:
        return None
    if out.returncode != 0 or not out.stdout.strip():
        return None
    return [Node(n["role"], n["name"], set(n["states"]), tuple(n["path"])) for n in json.loads(out.stdout)]


def application(pid):
    """The app's tree once it is on the accessibility bus: its nodes, the application first."""
    return h.expect(lambda: snapshot(pid), "application on the accessibility bus", 15)


def nodes(tree, top=None):
    """The nodes of tree under top (a node of it) and top itself; all of them without top."""
    return [n for n in tree if top is None or n.path[:len(top.path)] == top.path]


def named(tree, role, name, top=None):
    roles = role if isinstance(role, tuple) else (role,)
    return [n for n in nodes(tree, top) if n.role in roles and n.name == name]


def wait_for(pid, role, name, window=None, timeout=10):
    """(tree, node): the first node with that role and name, in the app (or in its window so named)."""
    def find():
        tree = snapshot(pid) or []
        tops = [None] if window is None else named(tree, window[0], window[1])
        return next(((tree, n) for top in tops for n in named(tree, role, name, top)), None)
    got = h.poll(find, timeout)
    if got is None:
        seen = sorted({(n.role, n.name) for n in snapshot(pid) or [] if n.role in CONTROLS | {"dialog", "alert"}})
        wanted = "/".join(role if isinstance(role, tuple) else (role,))
        raise AssertionError(f"no {wanted} named {name!r} within {timeout}s; controls: {seen}")
    return got


def states_of(pid, role, name):
    """The states of that node as read now; empty when it cannot be read."""
    tree = snapshot(pid) or []
    found = named(tree, role, name)
    return found[0].states if found else set()


class ReaderTestCase(h.E2ETestCase):
    def assert_controls_read_as_shown(self, tree, top=None):
        """No control reads as a widget type, nothing, or its text twice ("OK OK")."""
        for role, name, _, _ in nodes(tree, top):
            if role not in CONTROLS or role in ("entry", "password-text"):
                continue
            with self.subTest(role=role, name=name):
                self.assertTrue(name.strip(), "no name")
                self.assertIsNone(TYPE_NAME.match(name), "named by its type")
                words = name.split()
                self.assertFalse(len(words) % 2 == 0 and words[:len(words) // 2] == words[len(words) // 2:],
                                 "its text twice")


class Accessibility(ReaderTestCase):
    def test_the_app_its_strip_and_its_menus(self):
        service_up(self)
        app = h.launch_app("/t/probe?k=a11y", loaded=True)
        tree = application(app.pid)
        self.assertEqual((tree[0].role, tree[0].name), ("application", "Corvane"))
        self.assertEqual([n.name for n in tree if n.role == "frame"], ["Corvane"])
        for role, name in [("menu-item", title) for title in ("Corvane", "File", "Edit", "View", "Window", "Help")] \
                + [("push-button", b) for b in ("Minimize", "Maximize", "Close")]:
            with self.subTest(name=name):
                self.assertEqual(len(named(tree, role, name)), 1)
        # The app menu's rows, once it is open.
        h.open_menu(at=(30, 14))
        for row in ("About Corvane", "Settings…", "Quit Corvane"):
            tree, _ = wait_for(app.pid, "menu-item", row)
        self.assert_controls_read_as_shown(tree)

    def test_the_offline_screens_button_reads_retry_and_busy_while_it_loads(self):
        app = h.launch_app("/t/probe?k=offline")
        tree, retry = wait_for(app.pid, "push-button", "Retry", timeout=20)
        self.assertIn("focused", retry.states)
        self.assert_controls_read_as_shown(tree)
        # Still offline: busy while it loads, and still Retry; then it can be pressed again.
        h.key("Return")
        busy = h.poll(lambda: (lambda s: "busy" in s and s)(states_of(app.pid, "push-button", "Retry")), 5)
        self.assertTrue(busy, "never busy (or no longer named Retry)")
        self.assertNotIn("sensitive", busy)
        self.assertTrue(h.poll(lambda: (lambda s: "busy" not in s and "sensitive" in s)(
            states_of(app.pid, "push-button", "Retry")), 10), "still busy")

    def test_page_dialogs_read_their_buttons_once_and_the_field_by_its_question(self):
        service_up(self)
        for kind, buttons in (("confirm", ("OK", "Cancel")), ("alert", ("OK",)), ("prompt", ("OK", "Cancel"))):
            with self.subTest(kind=kind):
                h.kill_app()  # one copy at a time: another would only hand over to it
                app = h.launch_app(f"/t/dialog?kind={kind}&auto=1")
                # An alert from libadwaita 1.5 on, a dialog before.
                tree, dialog = wait_for(app.pid, ("dialog", "alert"), h.BASE_URL, timeout=20)
                for button in buttons:
                    self.assertNotEqual(named(tree, "push-button", button, dialog), [], button)
                self.assert_controls_read_as_shown(tree, dialog)
                fields = [n.name for n in nodes(tree, dialog) if n.role in ("entry", "text") and "editable" in n.states]
                if kind == "prompt":
                    message = [n.name for n in nodes(tree, dialog)
                               if n.role == "label" and n.name not in (h.BASE_URL, *buttons)]
                    self.assertEqual(fields, message[:1])
                else:
                    self.assertEqual(fields, [])

    def test_about_reads_its_version_and_every_button(self):
        service_up(self)
        app = h.launch_app("/t/probe?k=about", loaded=True)
        h.open_menu(at=(30, 14))
        h.click(70, 52)  # About Corvane
        tree, about = wait_for(app.pid, "frame", "About")
        version = h.run(h.APP_PATH, "--version").split()[1]
        self.assertEqual(len(named(tree, "push-button", version, about)), 1)
        self.assert_controls_read_as_shown(tree, about)


class MoveOffer(ReaderTestCase):
    def test_the_offer_reads_its_buttons_once_and_its_check_box(self):
        import test_move
        home = h.Home(h.session().tmp)
        bundle = f"{home.home}/Downloads/Corvane"
        shutil.copytree(test_move.bundle_template(), bundle, symlinks=True)
        os.symlink("corvane", f"{bundle}/bin/corvane-current")
        app = h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        tree, box = wait_for(app.pid, "check-box", "Don't ask again", timeout=20)
        self.assertNotIn("checked", box.states)
        self.assertEqual(tree[0].name, "Corvane")
        for button in ("Move to Applications", "Not Now"):
            self.assertEqual(len(named(tree, "push-button", button)), 1, button)
        self.assert_controls_read_as_shown(tree)
        # A tick is read as ticked.
        wid = h.expect(lambda: (h.windows(app.pid) or [None])[0], "offer", 15)
        h.key("shift+Tab", "shift+Tab", "space", window=wid)
        self.assertTrue(h.poll(lambda: "checked" in states_of(app.pid, "check-box", "Don't ask again"), 5),
                        "not ticked")


class UpdateWindow(ReaderTestCase):
    def test_a_found_update_reads_its_buttons_once_and_its_check_box(self):
        import test_move
        import test_updates as updates
        served = f"{h.session().tmp}/served"
        os.makedirs(served)
        updates.W.update(served=served, key=f"{h.session().tmp}/release.key")
        public = updates.release("keygen", updates.W["key"])
        # What the window shows comes from the feed; the archive, fetched only on Install, need hold little.
        newer = f"{h.session().tmp}/newer/Corvane"
        os.makedirs(f"{newer}/share/corvane")
        h._write(f"{newer}/share/corvane/version", "1.1.0\n")
        updates.tar_xz(f"{served}/Corvane-1.1.0.tar.xz", newer)
        url = updates.feed("good.xml", f"{served}/Corvane-1.1.0.tar.xz")
        self.addCleanup(h.session().stop, h.session().start_demo("--updates-dir", served))
        bundle = f"{h.session().tmp}/updating/Corvane"
        shutil.copytree(test_move.bundle_template(), bundle, symlinks=True)
        h._write(f"{bundle}/share/corvane/updates.ini", f"[Updates]\nFeedURL={url}\nPublicKey={public}\n")
        home = h.Home(h.session().tmp)
        home.write_settings({"Corvane": {"lastPath": "/t/probe?k=updates", "updateLaunchedBefore": True,
                                         "updateAutomaticChecks": False}})
        app = h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        h.wait_for_report(event="loaded", top=True, timeout=20)
        h.activate_action("check-for-updates")
        tree, window = wait_for(app.pid, "frame", "Software Update", timeout=15)
        for button in ("Skip This Version", "Remind Me Later", "Install Update"):
            self.assertEqual(len(named(tree, "push-button", button, window)), 1, button)
        automatic = "Automatically download and install updates in the future"
        self.assertEqual(len(named(tree, "check-box", automatic, window)), 1)
        self.assert_controls_read_as_shown(tree, window)
