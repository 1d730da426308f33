"""Closing the window only hides it: the desktop's Background portal is asked whether the app may keep
running (a "no" quits as Quit does), and where the desktop hosts status-area icons, the icon's menu shows
the window again or quits."""

import os
import time

import harness as h
from gi.repository import GLib
from harness import tearDownModule  # noqa: F401
from harness import setUpModuleWithWindowManager as setUpModule  # noqa: F401

PROBE = "/t/probe?k=background"

BACKGROUND_XML = """<node><interface name="org.freedesktop.portal.Background">
<method name="RequestBackground"><arg type="s"/><arg type="a{sv}"/><arg direction="out" type="o"/></method>
</interface></node>"""

WATCHER_XML = """<node><interface name="org.kde.StatusNotifierWatcher">
<method name="RegisterStatusNotifierItem"><arg type="s"/></method>
<method name="RegisterStatusNotifierHost"><arg type="s"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
</interface></node>"""


class FakeBackgroundPortal(h.FakeService):
    """Answers every request at once with the given permission, as a desktop does once the user chose."""

    def __init__(self, allow):
        self.allow, self.requests = allow, []
        super().__init__("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", BACKGROUND_XML)

    def on_call(self, conn, sender, path, iface, method, params, invocation):
        parent, options = params.unpack()
        self.requests.append({"parent": parent, **options})
        handle = "/org/freedesktop/portal/desktop/request/%s/%s" % (
            sender[1:].replace(".", "_"), options.get("handle_token", "t%d" % len(self.requests)))
        invocation.return_value(GLib.Variant("(o)", (handle,)))
        results = {"background": GLib.Variant("b", self.allow), "autostart": GLib.Variant("b", False)}
        self.conn.emit_signal(sender, handle, "org.freedesktop.portal.Request", "Response",
                              GLib.Variant("(ua{sv})", (0, results)))


class FakeWatcher(h.FakeService):
    """A status-area host's watcher: records the items that register, and talks to them as a panel does."""

    def __init__(self):
        self.items = []
        super().__init__("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", WATCHER_XML)

    def on_call(self, conn, sender, path, iface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            self.items.append((sender, params.unpack()[0]))
        invocation.return_value(None)

    def get(self, conn, sender, path, iface, prop):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", [s for _, s in self.items]),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[prop]

    def call(self, dest, path, iface, method, args, reply=None):
        return self.conn.call_sync(dest, path, iface, method, args, reply and GLib.VariantType(reply), 0, 5000,
                                   None).unpack()

    def item(self):
        """The registered item's bus name and properties."""
        sender, service = h.expect(lambda: self.items and self.items[0], "registered status item")
        self.bus_name = service if service.startswith(":") else sender
        return self.call(self.bus_name, "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "GetAll",
                         GLib.Variant("(s)", ("org.kde.StatusNotifierItem",)))[0]

    def menu(self, path):
        """{label: id} of the item's menu, as a panel reads it to show it."""
        _, (root, props, children) = self.call(self.bus_name, path, "com.canonical.dbusmenu", "GetLayout",
                                               GLib.Variant("(iias)", (0, -1, [])))
        return {child[1]["label"]: child[0] for child in children}

    def click(self, path, item_id):
        self.call(self.bus_name, path, "com.canonical.dbusmenu", "Event",
                  GLib.Variant("(isvu)", (item_id, "clicked", GLib.Variant("i", 0), 0)))


def close_window(via="key"):
    """Closes the window as a person does: Ctrl+W, or the window manager's Alt+F4."""
    h.key("ctrl+w" if via == "key" else "alt+F4")
    if not h.poll(lambda: not h.windows(), 5):
        raise AssertionError(f"window still shown: {h.windows()}")


def assert_quit_as_by_quit(test, app):
    """Ended through the app's own quit: the page said goodbye, its place was saved, exit status 0."""
    test.assertEqual(app.proc.wait(5), 0)
    test.assertFalse(h.wait_for_report(event="pagehide", page=PROBE)["persisted"])
    test.assertEqual(h.read_settings()["Corvane"]["lastPath"], PROBE)


class Closing(h.E2ETestCase):
    def test_close_hides_and_asks_the_background_portal(self):
        # No portal: the window only hides and a second launch brings it back, as before portals.
        for allow, via in ((None, "key"), (True, "wm"), (False, "key")):
            with self.subTest(portal={None: "absent", True: "allows", False: "refuses"}[allow]):
                portal = FakeBackgroundPortal(allow) if allow is not None else None
                try:
                    self.close_with(portal, via)
                finally:
                    if portal:
                        portal.close()
                    h.kill_app()

    def close_with(self, portal, via):
        app = h.launch_app(PROBE, loaded=True)
        wid = app.window_id()
        close_window(via)
        if portal:
            h.expect(lambda: portal.requests, "background request")
            request = portal.requests[0]
            self.assertFalse(request["autostart"])
            self.assertIn("reminders", request["reason"])
        if portal and not portal.allow:
            return assert_quit_as_by_quit(self, app)
        time.sleep(0.5)
        self.assertTrue(app.alive(), "closing the window quit the app")
        self.assertEqual(app.run_again([]).returncode, 0)
        self.assertTrue(h.poll(lambda: h.windows() == [wid], 5), f"windows now: {h.windows()}")
        close_window(via)
        time.sleep(0.5)
        self.assertEqual(len(portal.requests) if portal else 1, 1, "asked again")
        self.assertEqual(len(h.requests_seen(dest="document")), 1, "the page was loaded again")

    def test_status_icon_shows_the_window_and_quits(self):
        watcher = FakeWatcher()
        self.addCleanup(watcher.close)
        app = h.launch_app(PROBE, loaded=True)
        wid = app.window_id()
        props = watcher.item()
        self.assertEqual((props["Id"], props["Title"], props["Status"]), (h.APP_ID, "Corvane", "Active"))
        # A panel finds the icon by name, in the icon theme folder the item names (the build is not installed).
        icon = os.path.join(props["IconThemePath"], "hicolor", "scalable", "apps", props["IconName"] + ".svg")
        self.assertTrue(os.path.exists(icon), props)
        menu = watcher.menu(props["Menu"])
        self.assertEqual(list(menu), ["Show Corvane", "Quit Corvane"])

        close_window()
        watcher.click(props["Menu"], menu["Show Corvane"])
        self.assertTrue(h.poll(lambda: h.windows() == [wid], 5), f"windows now: {h.windows()}")
        # A click on the icon itself shows it too.
        close_window()
        watcher.call(watcher.bus_name, "/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate",
                     GLib.Variant("(ii)", (0, 0)))
        self.assertTrue(h.poll(lambda: h.windows() == [wid], 5), f"windows now: {h.windows()}")

        watcher.click(props["Menu"], menu["Quit Corvane"])
        assert_quit_as_by_quit(self, app)
