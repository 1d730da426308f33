"""What a screen reader reads of the app's own controls over AT-SPI: the application's name, the strip and
its menus, the offline screen, the page's dialogs, About and the move offer at launch. The page's content is
the engine's and, with GTK 4.8, not in the tree."""

import os
import re
import shutil

import gi
import harness as h
from harness import tearDownModule  # noqa: F401

# A node that goes while it is read (a window being built or closed) can hand libatspi an empty object
# path, and libdbus aborts the reader for it unless told not to; the read then fails as "gone".
os.environ["DBUS_FATAL_WARNINGS"] = "0"
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

Role = Atspi.Role
# What a person acts on; each must read as what it shows.
CONTROLS = {Role.PUSH_BUTTON, Role.TOGGLE_BUTTON, Role.CHECK_BOX, Role.RADIO_BUTTON, Role.MENU_ITEM,
            Role.CHECK_MENU_ITEM, Role.RADIO_MENU_ITEM, Role.ENTRY, Role.PASSWORD_TEXT}
TYPE_NAME = re.compile(r"^(Gtk|Adw|WebKit)[A-Z]")


# libatspi asks each app for a cache that GTK 4.8 does not offer, and says so every time.
GLib.log_set_handler("dbind", GLib.LogLevelFlags.LEVEL_WARNING, lambda *_: None, None)


def setUpModule():
    # Some tests start the demo service themselves.
    h.start_session(demo=False, a11y=True).start_window_manager()


def service_up(test):
    test.addCleanup(h.session().stop, h.session().start_demo())


def application(pid):
    """The accessible application of process pid, once it is on the bus."""
    def find():
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            child = desktop.get_child_at_index(i)
            if child is not None and child.get_process_id() == pid:
                return child
    return h.expect(find, "application on the accessibility bus", 15)


def nodes(root):
    """(role, name, states, node) of root and everything under it."""
    out, todo = [], [root]
    while todo:
        node = todo.pop()
        try:
            out.append((node.get_role(), node.get_name(), node.get_state_set(), node))
            todo.extend(c for c in (node.get_child_at_index(i) for i in range(node.get_child_count())) if c)
        except GLib.Error:
            pass  # gone while walked: a window closing
    return out


def named(root, role, name):
    roles = role if isinstance(role, tuple) else (role,)
    return [n for r, got, _, n in nodes(root) if r in roles and got == name]


def wait_for(pid, role, name, window=None, timeout=10):
    """The first node with that role and name, in the app (or in its window so named)."""
    def find():
        app = application(pid)
        tops = [app] if window is None else named(app, window[0], window[1])
        return next((n for top in tops for n in named(top, role, name)), None)
    got = h.poll(find, timeout)
    if got is None:
        seen = sorted({(r.value_nick, n) for r, n, _, _ in nodes(application(pid))
                       if r in CONTROLS | {Role.DIALOG, Role.ALERT}})
        wanted = "/".join(r.value_nick for r in (role if isinstance(role, tuple) else (role,)))
        raise AssertionError(f"no {wanted} named {name!r} within {timeout}s; controls: {seen}")
    return got


class ReaderTestCase(h.E2ETestCase):
    def assert_controls_read_as_shown(self, root):
        """No control reads as a widget type, nothing, or its text twice ("OK OK")."""
        for role, name, _, _ in nodes(root):
            if role not in CONTROLS or role in (Role.ENTRY, Role.PASSWORD_TEXT):
                continue
            with self.subTest(role=role.value_nick, name=name):
                self.assertTrue(name.strip(), "no name")
                self.assertIsNone(TYPE_NAME.match(name), "named by its type")
                words = name.split()
                self.assertFalse(len(words) % 2 == 0 and words[:len(words) // 2] == words[len(words) // 2:],
                                 "its text twice")


class Accessibility(ReaderTestCase):
    def test_the_app_its_strip_and_its_menus(self):
        service_up(self)
        app = h.launch_app("/t/probe?k=a11y", loaded=True)
        root = application(app.pid)
        self.assertEqual((root.get_role(), root.get_name()), (Role.APPLICATION, "Corvane"))
        self.assertEqual([n for r, n, _, _ in nodes(root) if r == Role.FRAME], ["Corvane"])
        for role, name in [(Role.MENU_ITEM, title) for title in ("Corvane", "File", "Edit", "View", "Window", "Help")] \
                + [(Role.PUSH_BUTTON, b) for b in ("Minimize", "Maximize", "Close")]:
            with self.subTest(name=name):
                self.assertEqual(len(named(root, role, name)), 1)
        # The app menu's rows, once it is open.
        h.open_menu(at=(30, 14))
        for row in ("About Corvane", "Settings…", "Quit Corvane"):
            wait_for(app.pid, Role.MENU_ITEM, row)
        self.assert_controls_read_as_shown(root)

    def test_the_offline_screens_button_reads_retry_and_busy_while_it_loads(self):
        app = h.launch_app("/t/probe?k=offline")
        retry = wait_for(app.pid, Role.PUSH_BUTTON, "Retry", timeout=20)
        self.assertTrue(retry.get_state_set().contains(Atspi.StateType.FOCUSED))
        self.assert_controls_read_as_shown(application(app.pid))
        # Still offline: busy while it loads, and still Retry; then it can be pressed again.
        h.key("Return")
        states = lambda: retry.get_state_set()  # noqa: E731
        self.assertTrue(h.poll(lambda: states().contains(Atspi.StateType.BUSY), 5), "never busy")
        self.assertFalse(states().contains(Atspi.StateType.SENSITIVE))
        self.assertEqual(retry.get_name(), "Retry")
        self.assertTrue(h.poll(lambda: not states().contains(Atspi.StateType.BUSY)
                               and states().contains(Atspi.StateType.SENSITIVE), 10), "still busy")

    def test_page_dialogs_read_their_buttons_once_and_the_field_by_its_question(self):
        service_up(self)
        for kind, buttons in (("confirm", ("OK", "Cancel")), ("alert", ("OK",)), ("prompt", ("OK", "Cancel"))):
            with self.subTest(kind=kind):
                h.kill_app()  # one copy at a time: another would only hand over to it
                app = h.launch_app(f"/t/dialog?kind={kind}&auto=1")
                # An alert from libadwaita 1.5 on, a dialog before.
                dialog = wait_for(app.pid, (Role.DIALOG, Role.ALERT), h.BASE_URL, timeout=20)
                for button in buttons:
                    self.assertNotEqual(named(dialog, Role.PUSH_BUTTON, button), [], button)
                self.assert_controls_read_as_shown(dialog)
                fields = [(n, s) for r, n, s, _ in nodes(dialog) if r in (Role.ENTRY, Role.TEXT)
                          and s.contains(Atspi.StateType.EDITABLE)]
                if kind == "prompt":
                    message = [n for r, n, _, _ in nodes(dialog) if r == Role.LABEL and n not in (h.BASE_URL, *buttons)]
                    self.assertEqual([n for n, _ in fields], message[:1])
                else:
                    self.assertEqual(fields, [])

    def test_about_reads_its_version_and_every_button(self):
        service_up(self)
        app = h.launch_app("/t/probe?k=about", loaded=True)
        h.open_menu(at=(30, 14))
        h.click(70, 52)  # About Corvane
        about = wait_for(app.pid, Role.FRAME, "About")
        version = h.run(h.APP_PATH, "--version").split()[1]
        self.assertEqual(len(named(about, Role.PUSH_BUTTON, version)), 1)
        self.assert_controls_read_as_shown(about)


class MoveOffer(ReaderTestCase):
    def test_the_offer_reads_its_buttons_once_and_its_check_box(self):
        import test_move
        home = h.Home(h.session().tmp)
        bundle = f"{home.home}/Downloads/Corvane"
        shutil.copytree(test_move.bundle_template(), bundle, symlinks=True)
        os.symlink("corvane", f"{bundle}/bin/corvane-current")
        app = h.launch_app(home=home, exe=f"{bundle}/bin/corvane")
        box = wait_for(app.pid, Role.CHECK_BOX, "Don't ask again", timeout=20)
        self.assertFalse(box.get_state_set().contains(Atspi.StateType.CHECKED))
        root = application(app.pid)
        self.assertEqual(root.get_name(), "Corvane")
        for button in ("Move to Applications", "Not Now"):
            self.assertEqual(len(named(root, Role.PUSH_BUTTON, button)), 1, button)
        self.assert_controls_read_as_shown(root)
        # A tick is read as ticked.
        wid = h.expect(lambda: (h.windows(app.pid) or [None])[0], "offer", 15)
        h.key("shift+Tab", "shift+Tab", "space", window=wid)
        self.assertTrue(h.poll(lambda: box.get_state_set().contains(Atspi.StateType.CHECKED), 5), "not ticked")


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
        window = wait_for(app.pid, Role.FRAME, "Software Update", timeout=15)
        for button in ("Skip This Version", "Remind Me Later", "Install Update"):
            self.assertEqual(len(named(window, Role.PUSH_BUTTON, button)), 1, button)
        automatic = "Automatically download and install updates in the future"
        self.assertEqual(len(named(window, Role.CHECK_BOX, automatic)), 1)
        self.assert_controls_read_as_shown(window)
