"""Self-checks of the e2e harness and the demo service, with stand-ins for the app."""

import json
import os
import subprocess
import sys
import threading
import time
import unittest

import harness as h
from harness import setUpModule, tearDownModule  # noqa: F401
from gi.repository import Gio, GLib

STANDIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standin_app.py")
BROWSER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "standin_browser.py")


def curl(url, *extra, cacert=True):
    cmd = ["curl", "-sS", "--max-time", "10", "-w", "\n%{http_code}"]
    if cacert:
        cmd += ["--cacert", h.CERT_PATH]
    r = subprocess.run(cmd + list(extra) + [url], capture_output=True, text=True)
    body, _, code = r.stdout.rpartition("\n")
    return r.returncode, (int(code) if code.isdigit() else 0), body, r.stderr


def process_gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


class DemoService(unittest.TestCase):
    def test_app_origin_serves_the_farm_over_tls(self):
        mark = len(h.session().requests())
        rc, code, body, err = curl(h.BASE_URL + "/farm?x=1")
        self.assertEqual((rc, code), (0, 200), err)
        self.assertIn("cvDesktop", body)
        self.assertIn(h.SIGNIN_START, body)
        seen = h.requests_seen(since=mark, method="GET", port=h.APP_PORT)
        self.assertEqual([r["path"] for r in seen], ["/farm?x=1"])

    def test_certificate_is_needed_and_names_localhost(self):
        rc, _, _, _ = curl(h.BASE_URL + "/farm", cacert=False)
        self.assertEqual(rc, 60)  # peer certificate cannot be authenticated
        rc, code, _, err = curl(f"https://127.0.0.1:{h.APP_PORT}/farm")
        self.assertEqual((rc, code), (0, 200), err)

    def test_outside_and_plain_ports(self):
        rc, code, body, err = curl(h.OUTSIDE_URL + "/outside?from=test")
        self.assertEqual((rc, code), (0, 200), err)
        self.assertIn("from=test", body)
        rc, code, body, err = curl(h.PLAIN_URL + "/t/frame?name=http", cacert=False)
        self.assertEqual((rc, code), (0, 200), err)

    def test_report_from_another_origin_is_recorded_with_cors(self):
        mark = len(h.session().reports())
        rc, code, _, err = curl(h.BASE_URL + "/report", "-i", "-X", "POST", "-H", f"Origin: {h.OUTSIDE_URL}",
                                "-H", "Content-Type: text/plain", "--data",
                                json.dumps({"page": "/t/frame?name=cross", "event": "frame-loaded", "t": 0}))
        self.assertEqual((rc, code), (0, 204), err)
        rec = h.wait_for_report(since=mark, event="frame-loaded", timeout=3)
        self.assertEqual(rec["origin"], h.OUTSIDE_PORT)
        self.assertEqual(rec["page"], "/t/frame?name=cross")
        self.assertGreater(rec["t"], 1e9)
        r = subprocess.run(["curl", "-sS", "-i", "-X", "OPTIONS", "--cacert", h.CERT_PATH, "-H",
                            f"Origin: {h.OUTSIDE_URL}", "-H", "Access-Control-Request-Method: POST",
                            h.BASE_URL + "/report"], capture_output=True, text=True)
        headers = r.stdout.lower()
        self.assertIn("access-control-allow-origin: *", headers)
        self.assertIn("access-control-allow-headers: content-type", headers)

    def test_probe_counts_loads(self):
        key = f"k{time.monotonic_ns()}"
        loads = [curl(h.BASE_URL + f"/t/probe?k={key}")[2] for _ in range(2)]
        self.assertIn('<b id="load">1</b>', loads[0])
        self.assertIn('<b id="load">2</b>', loads[1])

    def test_query_text_is_escaped(self):
        _, code, body, _ = curl(h.BASE_URL + "/care?follow_up=%3Cscript%3Ex%3C/script%3E")
        self.assertEqual(code, 200)
        self.assertNotIn("<script>x</script>", body)
        self.assertIn("&lt;script&gt;x&lt;/script&gt;", body)

    def test_busy_ports_give_a_clear_error(self):
        with self.assertRaisesRegex(h.HarnessError, "ports busy"):
            h.Session(xvfb=False).start()
        r = subprocess.run([sys.executable, os.path.join(h.DEMO_DIR, "demo_service.py"), "--cert-dir",
                            h.CERT_DIR], capture_output=True, text=True, timeout=10)
        self.assertEqual(r.returncode, 2)
        self.assertIn(f"cannot listen on 127.0.0.1:{h.APP_PORT}", r.stderr)


class UriHandler(unittest.TestCase):
    def test_gio_open_lands_in_the_recording_handler(self):
        home = h.session().new_home()
        for uri in ("https://localhost:47444/x", "mailto:vet@example.org"):
            h.session().run(["gio", "open", uri], home=home)
        h.wait_for_opened_uri("mailto:vet@example.org", home=home, timeout=5)
        self.assertEqual(h.opened_uris(home), ["https://localhost:47444/x", "mailto:vet@example.org"])

    def test_homes_are_separate(self):
        a, b = h.session().new_home(), h.session().new_home()
        h.session().run(["gio", "open", "https://localhost:47444/a"], home=a)
        h.wait_for_opened_uri(home=a, timeout=5)
        self.assertEqual(h.opened_uris(b), [])
        self.assertNotEqual(a.home, b.home)


class BadgeWatcher(unittest.TestCase):
    def emit(self, app_uri, count, visible):
        h.session().run(["gdbus", "emit", "--session", "--object-path", "/com/canonical/unity/launcherentry/1",
                         "--signal", "com.canonical.Unity.LauncherEntry.Update", f"'{app_uri}'",
                         f"{{'count': <int64 {count}>, 'count-visible': <{'true' if visible else 'false'}>}}"])

    def test_sees_update_signals_for_the_app(self):
        mark = len(h.badge_updates(None))
        self.emit("application://other.desktop", 5, True)
        self.emit(h.APP_DESKTOP_URI, 7, True)
        got = h.wait_for_badge(since=mark, timeout=5)
        self.assertEqual((got["count"], got["visible"]), (7, True))
        self.emit(h.APP_DESKTOP_URI, 0, False)
        got = h.wait_for_badge(since=mark, visible=False, timeout=5)
        self.assertEqual(got["count"], 0)
        self.assertEqual([u["count"] for u in h.badge_updates()[-2:]], [7, 0])


class NotificationServer(unittest.TestCase):
    def call(self, method, *args):
        r = h.session().run(["gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications",
                             "--object-path", "/org/freedesktop/Notifications", "--method",
                             f"org.freedesktop.Notifications.{method}", *args])
        return r.stdout.strip()

    def notify(self, replaces, summary):
        out = self.call("Notify", "'corvane'", f"uint32 {replaces}", "''", f"'{summary}'", "'Hoof trim'",
                        "['default', '', 'app.notice-response::better', 'Better']", "@a{sv} {}", "int32 -1")
        return int(out.strip("(),").split()[-1])

    def test_records_notify_and_honours_replaces_id(self):
        with h.NotificationServer() as server:
            self.assertEqual(self.call("GetCapabilities"), "(['actions', 'body'],)")
            first = self.notify(0, "Bramble")
            again = self.notify(first, "Bramble again")
            other = self.notify(0, "Pip")
            self.assertEqual(again, first)
            self.assertNotEqual(other, first)
            calls = server.notify_calls()
            self.assertEqual([c["summary"] for c in calls], ["Bramble", "Bramble again", "Pip"])
            self.assertTrue(calls[1]["replaced"])
            self.assertEqual(calls[0]["actions"][2:], ["app.notice-response::better", "Better"])

    def test_action_invoked_reaches_listeners(self):
        s = h.session()
        got, ready = [], threading.Event()
        conn = s.bus.connect(s.bus_address)
        s.bus.call(conn.signal_subscribe, "org.freedesktop.Notifications", "org.freedesktop.Notifications",
                   None, None, None, Gio.DBusSignalFlags.NONE,
                   lambda c, sender, path, iface, name, params, *u: (got.append((name, params.unpack())), ready.set()))
        s.bus.call(conn.call_sync, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                   "GetId", None, None, Gio.DBusCallFlags.NONE, 5000, None)
        try:
            with h.NotificationServer() as server:
                nid = self.notify(0, "Bramble")
                server.wait_for_notify(summary="Bramble", timeout=3)
                server.invoke_action(nid, "app.notice-response::better")
                h._poll(lambda: len(got) >= 2, 3)
        finally:
            s.bus.call(conn.close_sync, None)
        self.assertEqual(got[0], ("ActionInvoked", (nid, "app.notice-response::better")))
        self.assertEqual(got[1], ("NotificationClosed", (nid, 2)))


class StandInApp(h.E2ETestCase):
    def launch(self, **kw):
        out = os.path.join(h.session().tmp, f"standin-{time.monotonic_ns()}.jsonl")
        env = dict(kw.pop("env", {}), STANDIN_OUT=out)
        app = h.launch_app(program=sys.executable, args=[STANDIN], env=env, **kw)
        self.records = lambda: h._read_jsonl(out)
        started = h._poll(lambda: [r for r in self.records() if r["event"] == "started"], 15)
        self.assertTrue(started, app.log())
        return app, started[0]

    def test_launch_environment_settings_actions_and_quit(self):
        app, started = self.launch(settings={"window": {"width": 900, "maximized": True},
                                             "state": {"lastPath": "/records?id=7"}})
        env = started["env"]
        self.assertEqual(env["HOME"], app.home.home)
        self.assertEqual(env["XDG_CONFIG_HOME"], app.home.config)
        self.assertEqual(env["DBUS_SESSION_BUS_ADDRESS"], h.session().bus_address)
        self.assertNotEqual(env["DBUS_SYSTEM_BUS_ADDRESS"], h.session().bus_address)
        self.assertEqual((env["GTK_A11Y"], env["GSETTINGS_BACKEND"], env["GSK_RENDERER"]), ("none", "memory", "cairo"))
        self.assertEqual(env["WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS"], "1")
        self.assertIn("lastPath=/records?id=7", started["settings"])
        self.assertEqual(h.read_settings(), {"window": {"width": "900", "maximized": "true"},
                                             "state": {"lastPath": "/records?id=7"}})

        h.activate_action("app.say", "moo")
        self.assertTrue(h._poll(lambda: [r for r in self.records() if r.get("param") == "moo"], 5))

        wid = h.find_window()
        geo = h.window_geometry(wid)
        self.assertEqual((geo["WIDTH"], geo["HEIGHT"]), (640, 480))
        h.key("ctrl+comma")
        keys = h._poll(lambda: [r for r in self.records() if r["event"] == "key" and r["key"] == "comma"], 5)
        self.assertTrue(keys and keys[0]["ctrl"], self.records())

        png = h.screenshot()
        ident = subprocess.run(["convert", png, "-crop", "1x1+320+240", "-format", "%[hex:p{0,0}]", "info:"],
                               capture_output=True, text=True, check=True).stdout
        self.assertTrue(ident.upper().startswith("2C4A3C"), ident)

        code, seconds = h.quit_app(timeout=10)
        self.assertEqual(code, 0)
        self.assertLess(seconds, 5)
        self.assertEqual(self.records()[-1]["event"], "quit")
        self.assertTrue(h._poll(lambda: process_gone(started["child"]), 5))

    def test_kill_takes_the_whole_process_group(self):
        app, started = self.launch(env={"STANDIN_IGNORE_TERM": "1"})
        t0 = time.monotonic()
        app.kill(grace=0.5)
        self.assertLess(time.monotonic() - t0, 5)
        self.assertTrue(h._poll(lambda: process_gone(started["pid"]) and process_gone(started["child"]), 5))

    def test_second_launch_uses_the_same_home(self):
        app, _ = self.launch()
        r = app.run_again(["-c", "import os; print(os.environ['HOME'])"], timeout=10)
        self.assertEqual(r.stdout.strip(), app.home.home)


def webkit_available():
    try:
        import gi
        gi.require_version("WebKit", "6.0")
        return True
    except ValueError:
        return False


@unittest.skipUnless(webkit_available(), "WebKit 6.0 introspection data not installed")
class DemoPagesInWebKit(h.E2ETestCase):
    """The demo pages run in the engine the app embeds, and report back."""

    def setUp(self):
        super().setUp()
        h.launch_app(program=sys.executable, args=[BROWSER, h.BASE_URL + "/t/landed"],
                     env={"CORVANE_CERT": h.CERT_PATH})
        h.wait_for_report(event="loaded", page="/t/landed", timeout=20)

    def load(self, path):
        mark = h.report_count()
        h.activate_action("load", h.BASE_URL + path)
        h.wait_for_report(since=mark, event="loaded", page=path, top=True)
        return mark

    def test_pages_load_without_script_errors(self):
        for path in ("/farm", "/records?id=7", "/care?follow_up=a1&answer=better", "/privacy", "/welcome",
                     "/signin", "/api/auth/google-start", "/t/links", "/t/open", "/t/external",
                     "/t/probe?k=webkit", "/t/block?on=key", "/t/download", "/t/post?n=1", "/t/status?code=500"):
            self.load(path)
        h.wait_for_report(event="loaded", page="/embed", origin=h.OUTSIDE_PORT, top=False)
        self.assertEqual(h.reports(event="script-error"), [])
        # No bridge here: the direct post fails, and says so.
        posted = h.wait_for_report(event="posted", page="/t/post?n=1")
        self.assertFalse(posted["ok"])
        self.assertTrue(posted["error"])

    def test_frames_report_from_their_own_origins(self):
        mark = self.load("/t/frames")
        for name, origin in (("cross", h.OUTSIDE_PORT), ("same", h.APP_PORT), ("data", None)):
            rec = h.wait_for_report(since=mark, event="frame-loaded", name=name)
            self.assertEqual((rec["origin"], rec["top"]), (origin, False))

    def test_probe_counts_reloads_and_reports_pagehide(self):
        mark = self.load("/t/probe?k=reload")
        first = h.reports(since=mark, event="loaded", page="/t/probe?k=reload")[0]["load"]
        h.activate_action("load", h.BASE_URL + "/t/probe?k=reload")
        h.wait_for_report(since=mark, event="loaded", load=first + 1)
        h.wait_for_report(since=mark, event="pagehide", page="/t/probe?k=reload")


if __name__ == "__main__":
    unittest.main()
