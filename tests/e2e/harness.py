"""End-to-end harness for Corvane desktop.

Per test module: one private D-Bus session bus (plus a private "system" bus), one Xvfb display and the
loopback demo service on its fixed ports. Per app launch: a throwaway HOME with its own XDG dirs, a
recording default URI handler and, optionally, a prepared settings file.

Typical module:

    import harness as h
    from harness import setUpModule, tearDownModule

    class T(h.E2ETestCase):
        def test_start(self):
            h.launch_app()
            h.wait_for_report(event="loaded", page="/farm")
"""

import atexit
import json
import os
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))


def _default_app():
    # scripts/build.sh puts the build that targets the demo service in build/demo.
    candidates = [os.path.join(REPO, "build", *sub, "shell", "gtk", "corvane") for sub in (("demo",), ())]
    return next((c for c in candidates if os.path.exists(c)), candidates[0])


APP_PATH = os.environ.get("CORVANE_APP") or _default_app()
DEMO_DIR = os.environ.get("CORVANE_DEMO_DIR") or os.path.join(REPO, "packaging", "demo")
CERT_DIR = os.environ.get("CORVANE_CERT_DIR") or os.path.join(REPO, "build", "demo-cert")
CERT_PATH = os.path.join(CERT_DIR, "cert.pem")

APP_ID = "app.corvane.Corvane"
APP_OBJECT_PATH = "/app/corvane/Corvane"
APP_DESKTOP_URI = f"application://{APP_ID}.desktop"

# The app's base URL is fixed at build time, so these ports cannot be chosen at random.
APP_PORT, OUTSIDE_PORT, HTTP_PORT = 47443, 47444, 47080
BASE_URL = f"https://localhost:{APP_PORT}"
OUTSIDE_URL = f"https://localhost:{OUTSIDE_PORT}"
PLAIN_URL = f"http://localhost:{HTTP_PORT}"
SIGNIN_START = f"{BASE_URL}/api/auth/google-start"

SCREEN = os.environ.get("CORVANE_E2E_SCREEN", "1280x900x24")
RECORDER_DESKTOP = "corvane-e2e-recorder.desktop"
RECORDED_SCHEMES = ("https", "http", "mailto", "tel", "sms", "facetime")

_SETPRIV = shutil.which("setpriv")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

# Inherited variables that would point the app at the real desktop.
_SCRUB_PREFIXES = ("DBUS_", "XDG_", "WAYLAND_", "GNOME_", "KDE_", "GIO_", "GTK_", "GDK_", "GSK_", "WEBKIT_")
_SCRUB_NAMES = ("DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "BROWSER", "DESKTOP_SESSION", "AT_SPI_BUS_ADDRESS")


class HarnessError(RuntimeError):
    pass


def _spawn(cmd, **kw):
    """Popen whose child gets SIGTERM if this process dies, so nothing outlives a killed test run."""
    if _SETPRIV:
        cmd = [_SETPRIV, "--pdeathsig", "TERM", "--"] + list(cmd)
    return subprocess.Popen(cmd, **kw)


def _stop_process(proc, group=False, grace=3.0):
    if proc is None:
        return

    def send(sig):
        try:
            if group:
                os.killpg(proc.pid, sig)
            elif proc.poll() is None:
                proc.send_signal(sig)
        except (ProcessLookupError, PermissionError):
            pass
    if proc.poll() is None:
        send(signal.SIGTERM)
        try:
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            send(signal.SIGKILL)
            proc.wait(5)
    if group:
        # Helpers left in the group (web and network processes) go too.
        send(signal.SIGKILL)
    for stream in (proc.stdin, proc.stdout, proc.stderr):
        if stream:
            stream.close()


def _read_line(stream, proc, timeout, what, log=None):
    """First line of a child's pipe, or a HarnessError naming what failed to start (with its log)."""
    box = {}
    t = threading.Thread(target=lambda: box.setdefault("line", stream.readline()), daemon=True)
    t.start()
    t.join(timeout)
    line = box.get("line")
    if not line:
        err = ""
        if log:
            proc.poll() is None or proc.wait(1)
            with open(log, encoding="utf-8", errors="replace") as f:
                err = f.read().strip()[-2000:]
        raise HarnessError(f"{what} did not start within {timeout}s" + (f": {err}" if err else ""))
    return line.decode("utf-8", "replace").strip() if isinstance(line, bytes) else line.strip()


def _port_busy(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(0.5)
        return s.connect_ex(("127.0.0.1", port)) == 0


def _matches(rec, predicate, fields):
    if predicate is not None:
        if callable(predicate):
            if not predicate(rec):
                return False
        elif any(rec.get(k) != v for k, v in predicate.items()):
            return False
    return all(rec.get(k) == v for k, v in fields.items())


def _read_jsonl(path):
    out = []
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                if line.endswith("\n"):
                    try:
                        out.append(json.loads(line))
                    except ValueError:
                        pass
    except FileNotFoundError:
        pass
    return out


def _poll(fn, timeout, interval=0.05):
    """Calls fn until it returns something truthy; returns that, or None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        got = fn()
        if got:
            return got
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


# ---------------------------------------------------------------- GLib bus thread

class BusThread:
    """A GLib main loop on its own thread, for D-Bus connections that must keep dispatching."""

    def __init__(self, name="bus"):
        self.ctx = GLib.MainContext.new()
        self.loop = GLib.MainLoop.new(self.ctx, False)
        self._started = threading.Event()
        self._thread = threading.Thread(target=self._run, name=f"harness-{name}", daemon=True)
        self._thread.start()
        self._started.wait(5)

    def _run(self):
        self.ctx.push_thread_default()
        self._started.set()
        self.loop.run()
        self.ctx.pop_thread_default()

    def call(self, fn, *args, timeout=10):
        """Runs fn(*args) on the loop thread and returns its result (or raises its exception)."""
        if threading.current_thread() is self._thread:
            return fn(*args)
        done, box = threading.Event(), {}
        def run():
            try:
                box["value"] = fn(*args)
            except BaseException as e:  # handed back to the caller
                box["error"] = e
            done.set()
            return False
        src = GLib.Idle()
        src.set_callback(lambda *_: run())
        src.attach(self.ctx)
        if not done.wait(timeout):
            raise HarnessError(f"bus thread did not answer within {timeout}s")
        if "error" in box:
            raise box["error"]
        return box.get("value")

    def connect(self, address):
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
                 | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        return self.call(Gio.DBusConnection.new_for_address_sync, address, flags, None, None)

    def stop(self):
        if self._thread.is_alive():
            try:
                self.call(self.loop.quit, timeout=3)
            except HarnessError:
                pass
            self._thread.join(3)


class _Recorder:
    """Thread-safe list with waiting."""

    def __init__(self):
        self._items = []
        self._cond = threading.Condition()

    def add(self, item):
        with self._cond:
            self._items.append(item)
            self._cond.notify_all()

    def items(self):
        with self._cond:
            return list(self._items)

    def wait(self, match, timeout, start=0):
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                for item in self._items[start:]:
                    if match(item):
                        return item
                left = deadline - time.monotonic()
                if left <= 0:
                    return None
                self._cond.wait(left)


class BadgeWatcher:
    """Records com.canonical.Unity.LauncherEntry Update signals seen on the private session bus."""

    def __init__(self, bus, address):
        self._bus = bus
        self._rec = _Recorder()
        self._conn = bus.connect(address)
        self._sub = bus.call(self._conn.signal_subscribe, None, "com.canonical.Unity.LauncherEntry", "Update",
                             None, None, Gio.DBusSignalFlags.NONE, self._on_signal)
        # The match rule must be in place before a test emits, or the first signal can be missed.
        bus.call(self._conn.call_sync, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                 "GetId", None, None, Gio.DBusCallFlags.NONE, 5000, None)

    def _on_signal(self, conn, sender, path, iface, signal_name, params, *user):
        app_uri, props = params.unpack()
        self._rec.add({"t": time.time(), "sender": sender, "path": path, "app_uri": app_uri, "props": props,
                       "count": props.get("count"), "visible": props.get("count-visible")})

    def updates(self, app_uri=APP_DESKTOP_URI):
        return [u for u in self._rec.items() if app_uri is None or u["app_uri"] == app_uri]

    def wait(self, predicate=None, timeout=10, since=0, app_uri=APP_DESKTOP_URI, **fields):
        match = lambda u: (app_uri is None or u["app_uri"] == app_uri) and _matches(u, predicate, fields)
        return self._rec.wait(match, timeout, since)

    def close(self):
        try:
            self._bus.call(self._conn.signal_unsubscribe, self._sub)
            self._bus.call(self._conn.close_sync, None)
        except Exception:
            pass


NOTIFICATIONS_XML = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg direction="out" type="as"/></method>
    <method name="Notify">
      <arg direction="in" type="s" name="app_name"/><arg direction="in" type="u" name="replaces_id"/>
      <arg direction="in" type="s" name="app_icon"/><arg direction="in" type="s" name="summary"/>
      <arg direction="in" type="s" name="body"/><arg direction="in" type="as" name="actions"/>
      <arg direction="in" type="a{sv}" name="hints"/><arg direction="in" type="i" name="expire_timeout"/>
      <arg direction="out" type="u" name="id"/>
    </method>
    <method name="CloseNotification"><arg direction="in" type="u" name="id"/></method>
    <method name="GetServerInformation">
      <arg direction="out" type="s"/><arg direction="out" type="s"/><arg direction="out" type="s"/><arg direction="out" type="s"/>
    </method>
    <signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
    <signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>
"""


class NotificationServer:
    """A fake org.freedesktop.Notifications on the private session bus.

    notify_calls(): one dict per Notify (id, app_name, replaces_id, summary, body, actions, hints, ...).
    """

    NAME = "org.freedesktop.Notifications"
    PATH = "/org/freedesktop/Notifications"

    def __init__(self, sess=None, capabilities=("actions", "body")):
        self.session = sess or session()
        self.capabilities = list(capabilities)
        self._rec = _Recorder()
        self._next_id = 1
        self._open = set()
        self.closed = []
        self._conn = None
        self._reg = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def start(self):
        bus = self.session.bus
        self._conn = bus.connect(self.session.bus_address)
        info = Gio.DBusNodeInfo.new_for_xml(NOTIFICATIONS_XML).interfaces[0]
        self._reg = bus.call(self._conn.register_object, self.PATH, info, self._on_call, None, None)
        reply = bus.call(self._conn.call_sync, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                         "org.freedesktop.DBus", "RequestName", GLib.Variant("(su)", (self.NAME, 4)),
                         GLib.VariantType.new("(u)"), Gio.DBusCallFlags.NONE, 5000, None)
        if reply.unpack()[0] != 1:
            self.stop()
            raise HarnessError(f"could not own {self.NAME} on the private bus")
        self.session._cleanups.append(self.stop)
        return self

    def stop(self):
        if self._conn is None:
            return
        conn, self._conn = self._conn, None
        try:
            self.session.bus.call(conn.unregister_object, self._reg)
            self.session.bus.call(conn.close_sync, None)
        except Exception:
            pass

    def _on_call(self, conn, sender, path, iface, method, params, invocation):
        if method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (self.capabilities,)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("corvane-e2e", "corvane", "1", "1.2")))
        elif method == "Notify":
            app_name, replaces_id, icon, summary, body, actions, hints, expire = params.unpack()
            if replaces_id:
                nid = replaces_id
                self._next_id = max(self._next_id, nid + 1)
            else:
                nid = self._next_id
                self._next_id += 1
            replaced = bool(replaces_id) and replaces_id in self._open
            self._open.add(nid)
            invocation.return_value(GLib.Variant("(u)", (nid,)))
            self._rec.add({"t": time.time(), "id": nid, "app_name": app_name, "replaces_id": replaces_id,
                           "replaced": replaced, "app_icon": icon, "summary": summary, "body": body,
                           "actions": list(actions), "hints": hints, "expire_timeout": expire,
                           "sender": sender})
        elif method == "CloseNotification":
            (nid,) = params.unpack()
            invocation.return_value(None)
            self._close(nid, 3)
        else:
            invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)

    def _close(self, nid, reason):
        self._open.discard(nid)
        self.closed.append((nid, reason))
        self._conn.emit_signal(None, self.PATH, self.NAME, "NotificationClosed", GLib.Variant("(uu)", (nid, reason)))

    def notify_calls(self):
        return self._rec.items()

    def wait_for_notify(self, predicate=None, timeout=10, since=0, **fields):
        """The first Notify call (after the first `since` calls) matching predicate/fields; raises on timeout."""
        got = self._rec.wait(lambda c: _matches(c, predicate, fields), timeout, since)
        if got is None:
            raise AssertionError(f"no matching Notify within {timeout}s; calls: {self.notify_calls()}")
        return got

    def invoke_action(self, nid, action_key="default"):
        """Emits ActionInvoked as a server does when the user clicks; the notification then closes."""
        def emit():
            self._conn.emit_signal(None, self.PATH, self.NAME, "ActionInvoked", GLib.Variant("(us)", (nid, action_key)))
            self._close(nid, 2)
        self.session.bus.call(emit)

    def close(self, nid, reason=2):
        self.session.bus.call(self._close, nid, reason)


# ---------------------------------------------------------------- per-launch home

class AppHome:
    """A throwaway HOME with XDG dirs and a recording default URI handler."""

    def __init__(self, parent_dir):
        self.root = tempfile.mkdtemp(prefix="home-", dir=parent_dir)
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.home, ".config")
        self.data = os.path.join(self.home, ".local", "share")
        self.cache = os.path.join(self.home, ".cache")
        self.runtime = os.path.join(self.root, "runtime")
        for d in (self.config, self.data, self.cache, self.runtime, os.path.join(self.data, "applications")):
            os.makedirs(d, exist_ok=True)
        os.chmod(self.runtime, 0o700)
        self.opened_file = os.path.join(self.root, "opened-uris.txt")
        self.log_path = os.path.join(self.root, "app.log")
        self.settings_path = os.path.join(self.config, "corvane", "settings.ini")
        self._install_recorder()

    def _install_recorder(self):
        script = os.path.join(self.root, "record-uri.sh")
        with open(script, "w") as f:
            f.write("#!/bin/sh\nfor u in \"$@\"; do printf '%s\\n' \"$u\" >> "
                    f"{shlex.quote(self.opened_file)}; done\n")
        os.chmod(script, 0o755)
        apps = os.path.join(self.data, "applications")
        mimes = "".join(f"x-scheme-handler/{s};" for s in RECORDED_SCHEMES)
        with open(os.path.join(apps, RECORDER_DESKTOP), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Recording browser\nNoDisplay=true\n"
                    f"Exec={script} %u\nMimeType={mimes}\n")
        # The app's own entry, so a URI of its scheme can be handed to it the way a browser would.
        with open(os.path.join(apps, f"{APP_ID}.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=Corvane\nNoDisplay=true\n"
                    f"Exec={shlex.quote(APP_PATH)} %U\nMimeType=x-scheme-handler/corvane-desktop;\n")
        lines = [f"x-scheme-handler/{s}={RECORDER_DESKTOP}" for s in RECORDED_SCHEMES]
        lines.append(f"x-scheme-handler/corvane-desktop={APP_ID}.desktop")
        with open(os.path.join(self.config, "mimeapps.list"), "w") as f:
            f.write("[Default Applications]\n" + "\n".join(lines) + "\n\n[Added Associations]\n"
                    + "\n".join(l + ";" for l in lines) + "\n")

    def env(self, base):
        env = dict(base)
        env.update(HOME=self.home, XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=self.data,
                   XDG_CACHE_HOME=self.cache, XDG_RUNTIME_DIR=self.runtime)
        return env

    def opened_uris(self):
        try:
            with open(self.opened_file, encoding="utf-8") as f:
                return [l.rstrip("\n") for l in f if l.endswith("\n")]
        except FileNotFoundError:
            return []

    def write_settings(self, settings):
        """settings: text written as is, or {group: {key: value}} (str, bool, int, float)."""
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        if isinstance(settings, (str, bytes)):
            with open(self.settings_path, "wb") as f:
                f.write(settings.encode("utf-8") if isinstance(settings, str) else settings)
            return
        kf = GLib.KeyFile.new()
        for group, values in settings.items():
            for key, value in values.items():
                if isinstance(value, bool):
                    kf.set_boolean(group, key, value)
                elif isinstance(value, int):
                    kf.set_int64(group, key, value)
                elif isinstance(value, float):
                    kf.set_double(group, key, value)
                else:
                    kf.set_string(group, key, str(value))
        kf.save_to_file(self.settings_path)

    def read_settings(self):
        """{group: {key: value text}}, {} when the file is absent; raises if it is not a key file."""
        if not os.path.exists(self.settings_path):
            return {}
        kf = GLib.KeyFile.new()
        kf.load_from_file(self.settings_path, GLib.KeyFileFlags.NONE)
        groups, _ = kf.get_groups()
        return {g: {k: kf.get_string(g, k) for k in kf.get_keys(g)[0]} for g in groups}


# ---------------------------------------------------------------- the app

class App:
    """One launch of the app (or a stand-in) in its own process group."""

    def __init__(self, sess, args, home, env, program):
        self.session = sess
        self.home = home
        self.env = env
        self.program = program
        self.args = list(args)
        self.report_mark = len(sess.reports())
        self.request_mark = len(sess.requests())
        self.badge_mark = len(sess.badge.updates(None))
        self._log = open(home.log_path, "ab")
        self.started = time.monotonic()
        self.proc = _spawn([program] + self.args, env=env, cwd=home.home, stdin=subprocess.DEVNULL,
                           stdout=self._log, stderr=subprocess.STDOUT, start_new_session=True)
        self.pid = self.proc.pid
        self._wid = None

    def alive(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=10):
        """Exit status, or None if still running after timeout."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self, grace=3.0):
        _stop_process(self.proc, group=True, grace=grace)
        self._log.close()

    def log(self):
        try:
            with open(self.home.log_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def processes(self):
        """[(pid, name)] of every live process in the app's group (UI, web and network processes)."""
        out = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    stat = f.read()
            except OSError:
                continue
            name = stat[stat.index("(") + 1:stat.rindex(")")]
            fields = stat[stat.rindex(")") + 2:].split()
            if int(fields[2]) == self.pid and fields[0] != "Z":
                out.append((int(entry), name))
        return out

    def web_process_pids(self):
        return [pid for pid, name in self.processes() if name.startswith("WebKitWebProces")]

    def run_again(self, args, timeout=15, check=False):
        """A second launch with the same environment (e.g. a URI forwarded to the running instance)."""
        return subprocess.run([self.program] + list(args), env=self.env, cwd=self.home.home, timeout=timeout,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, check=check)

    def window_id(self, timeout=15):
        if self._wid is None:
            self._wid = self.session.find_window(pid=self.pid, timeout=timeout)
        return self._wid


# ---------------------------------------------------------------- the session

class Session:
    """Private buses, Xvfb and the demo service, for one test module."""

    def __init__(self, xvfb=True, demo=True):
        self.want_xvfb, self.want_demo = xvfb, demo
        self.tmp = None
        self.bus_address = self.system_bus_address = None
        self.display = None
        self.bus = self.badge = None
        self.apps = []
        self.current = None
        self._procs = []
        self._cleanups = []
        self.report_file = self.request_log = None

    # -- start / stop
    def start(self):
        try:
            self.tmp = tempfile.mkdtemp(prefix="corvane-e2e-")
            self.report_file = os.path.join(self.tmp, "reports.jsonl")
            self.request_log = os.path.join(self.tmp, "requests.jsonl")
            self.bus_address = self._start_bus("session")
            self.system_bus_address = self._start_bus("system")
            if self.want_xvfb:
                self._start_xvfb()
            if self.want_demo:
                self._start_demo()
            self.bus = BusThread()
            self.badge = BadgeWatcher(self.bus, self.bus_address)
        except BaseException:
            self.close()
            raise
        return self

    def close(self):
        for app in self.apps:
            app.kill()
        self.apps, self.current = [], None
        while self._cleanups:
            try:
                self._cleanups.pop()()
            except Exception:
                pass
        if self.badge:
            self.badge.close()
            self.badge = None
        if self.bus:
            self.bus.stop()
            self.bus = None
        while self._procs:
            _stop_process(self._procs.pop())
        if self.tmp and not os.environ.get("CORVANE_E2E_KEEP"):
            shutil.rmtree(self.tmp, ignore_errors=True)
        elif self.tmp:
            sys.stderr.write(f"harness: kept {self.tmp}\n")

    def _start_bus(self, name):
        d = os.path.join(self.tmp, f"{name}-bus")
        os.makedirs(d)
        conf = os.path.join(self.tmp, f"{name}-bus.conf")
        with open(conf, "w") as f:
            f.write(BUS_CONFIG.format(dir=d))
        log = self._log(f"{name}-bus")
        proc = _spawn(["dbus-daemon", f"--config-file={conf}", "--nofork", "--nopidfile", "--nosyslog",
                       "--print-address=1"], stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
        self._procs.append(proc)
        return _read_line(proc.stdout, proc, 10, f"dbus-daemon ({name})", log.name)

    def _log(self, name):
        f = open(os.path.join(self.tmp, f"{name}.log"), "ab")
        self._cleanups.insert(0, f.close)
        return f

    def _start_xvfb(self):
        log = self._log("xvfb")
        r, w = os.pipe()
        try:
            proc = _spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", SCREEN, "-nolisten", "tcp", "-noreset"],
                          pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=log, stdin=subprocess.DEVNULL)
        finally:
            os.close(w)
        self._procs.append(proc)
        with os.fdopen(r, "rb") as rf:
            self.display = ":" + _read_line(rf, proc, 15, "Xvfb", log.name)

    def _start_demo(self):
        busy = [p for p in (APP_PORT, OUTSIDE_PORT, HTTP_PORT) if _port_busy(p)]
        if busy:
            raise HarnessError(f"demo service ports busy: {busy}. The app's base URL is fixed at build time, "
                               "so these ports must be free (is another test run or demo service running?)")
        subprocess.run(["sh", os.path.join(DEMO_DIR, "make-cert.sh"), CERT_DIR], check=True)
        log = self._log("demo-service")
        proc = _spawn(["/usr/bin/python3", os.path.join(DEMO_DIR, "demo_service.py"), "--cert-dir", CERT_DIR,
                       "--app-port", str(APP_PORT), "--outside-port", str(OUTSIDE_PORT),
                       "--http-port", str(HTTP_PORT), "--report-file", self.report_file,
                       "--request-log", self.request_log],
                      stdout=subprocess.PIPE, stderr=log, stdin=subprocess.DEVNULL)
        self._procs.append(proc)
        line = _read_line(proc.stdout, proc, 15, "demo service", log.name)
        if not json.loads(line).get("ready"):
            raise HarnessError(f"demo service said: {line}")

    # -- environment
    def base_env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(_SCRUB_PREFIXES) and k not in _SCRUB_NAMES}
        env.setdefault("LANG", "C.UTF-8")
        env.update(DBUS_SESSION_BUS_ADDRESS=self.bus_address, DBUS_SYSTEM_BUS_ADDRESS=self.system_bus_address,
                   GTK_A11Y="none", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory", GSK_RENDERER="cairo",
                   GDK_BACKEND="x11", WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def new_home(self):
        return AppHome(self.tmp)

    def run(self, cmd, home=None, env=None, timeout=15, check=True):
        """Runs a command in the app's environment (a fresh home unless given)."""
        home = home or (self.current.home if self.current else self.new_home())
        e = home.env(self.base_env())
        e.update(env or {})
        return subprocess.run(cmd, env=e, cwd=home.home, timeout=timeout, stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, check=check)

    # -- app
    def launch_app(self, args=(), settings=None, env=None, program=None, home=None):
        program = program or APP_PATH
        if not (os.path.isfile(program) and os.access(program, os.X_OK)):
            raise HarnessError(f"app not found or not executable: {program} (set CORVANE_APP)")
        home = home or self.new_home()
        if settings is not None:
            home.write_settings(settings)
        e = home.env(self.base_env())
        e.update(env or {})
        app = App(self, args, home, e, program)
        self.apps.append(app)
        self.current = app
        return app

    # -- observations
    def reports(self):
        return _read_jsonl(self.report_file)

    def requests(self):
        return _read_jsonl(self.request_log)

    # -- X
    def xdotool(self, *args, timeout=10, check=True):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=self.base_env(), timeout=timeout,
                              capture_output=True, text=True, check=check)

    def find_window(self, pid=None, name=None, timeout=15):
        """X id of the first visible window of pid (or whose name matches); raises on timeout."""
        def look():
            args = ["search", "--onlyvisible"] + (["--pid", pid] if pid else ["--name", name or "."])
            r = self.xdotool(*args, check=False)
            ids = [int(x) for x in r.stdout.split()]
            return ids[0] if ids else None
        wid = _poll(look, timeout, 0.1)
        if wid is None:
            raise AssertionError(f"no visible window for pid={pid} name={name} within {timeout}s")
        return wid

    def screenshot(self, path=None):
        path = path or os.path.join(self.tmp, f"screen-{time.time():.3f}.png")
        subprocess.run(["import", "-display", self.display, "-window", "root", path], check=True,
                       env=self.base_env(), timeout=30, capture_output=True)
        return path


# ---------------------------------------------------------------- module-level API

_SESSION = None


def session():
    if _SESSION is None:
        raise HarnessError("no harness session: call harness.start_session() (or use its setUpModule)")
    return _SESSION


def start_session(xvfb=True, demo=True):
    global _SESSION
    if _SESSION is None:
        _SESSION = Session(xvfb=xvfb, demo=demo).start()
    return _SESSION


def stop_session():
    global _SESSION
    s, _SESSION = _SESSION, None
    if s:
        s.close()


def setUpModule():
    start_session()


def tearDownModule():
    stop_session()


def _on_sigterm(signum, frame):
    # A test runner's timeout: stop everything started here, then leave at once (unittest would
    # otherwise record a SystemExit as an error and go on to the next test).
    try:
        stop_session()
    finally:
        os._exit(128 + signum)


atexit.register(stop_session)
if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
    signal.signal(signal.SIGTERM, _on_sigterm)


def current_app():
    app = session().current
    if app is None:
        raise HarnessError("no app launched")
    return app


def launch_app(args=(), settings=None, env=None, program=None, home=None):
    """Starts the app (CORVANE_APP) in a fresh home; settings are written first. Returns an App."""
    return session().launch_app(args, settings=settings, env=env, program=program, home=home)


def quit_app(timeout=10, via="action"):
    """Asks the app to quit (via "action", "key" ctrl+q or "signal" SIGTERM) and waits.

    Returns (exit status, seconds from the request to the exit). Kills it and fails on timeout.
    """
    app = current_app()
    t0 = time.monotonic()
    if via == "action":
        activate_action("quit", check=False)
    elif via == "key":
        key("ctrl+q")
    elif via == "signal":
        app.proc.send_signal(signal.SIGTERM)
    else:
        raise ValueError(via)
    code = app.wait_exit(timeout)
    elapsed = time.monotonic() - t0
    if code is None:
        app.kill()
        raise AssertionError(f"app did not exit within {timeout}s of quit via {via}")
    app.kill()
    return code, elapsed


def kill_app():
    s = _SESSION
    if s:
        for app in s.apps:
            app.kill()


def report_count():
    return len(session().reports())


def _since(since, attr):
    if since is not None:
        return since
    app = session().current
    return getattr(app, attr) if app else 0


def reports(predicate=None, since=None, **fields):
    """Page reports (dicts) since the current launch (or index `since`), filtered."""
    recs = session().reports()[_since(since, "report_mark"):]
    return [r for r in recs if _matches(r, predicate, fields)]


def wait_for_report(predicate=None, timeout=10, since=None, **fields):
    """First page report matching predicate (callable or dict) and fields; AssertionError on timeout."""
    got = _poll(lambda: (reports(predicate, since, **fields) or [None])[0], timeout)
    if got is None:
        recent = reports(since=since)[-12:]
        raise AssertionError(f"no report matching {predicate or ''} {fields} within {timeout}s; recent: "
                             + json.dumps(recent, indent=None)[:3000])
    return got


def assert_no_report(predicate=None, within=2.0, since=None, **fields):
    got = _poll(lambda: (reports(predicate, since, **fields) or [None])[0], within)
    if got is not None:
        raise AssertionError(f"unexpected report: {got}")


def requests_seen(predicate=None, since=None, **fields):
    """Requests that reached the demo service ({t, method, port, path[, dest]}) since the current launch."""
    recs = session().requests()[_since(since, "request_mark"):]
    return [r for r in recs if _matches(r, predicate, fields)]


def wait_for_request(predicate=None, timeout=10, since=None, **fields):
    got = _poll(lambda: (requests_seen(predicate, since, **fields) or [None])[0], timeout)
    if got is None:
        raise AssertionError(f"no request matching {predicate or ''} {fields} within {timeout}s")
    return got


def opened_uris(home=None):
    """URIs the recording default handler was asked to open, in order."""
    return (home or current_app().home).opened_uris()


def wait_for_opened_uri(predicate=None, timeout=10, home=None):
    def look():
        for u in opened_uris(home):
            if predicate is None or (predicate(u) if callable(predicate) else u == predicate):
                return u
    got = _poll(look, timeout)
    if got is None:
        raise AssertionError(f"no opened URI matching {predicate} within {timeout}s; got {opened_uris(home)}")
    return got


def badge_updates(app_uri=APP_DESKTOP_URI):
    """LauncherEntry Update signals seen: dicts with app_uri, count, visible, props, t."""
    return session().badge.updates(app_uri)


def wait_for_badge(predicate=None, timeout=10, since=None, app_uri=APP_DESKTOP_URI, **fields):
    """First badge update (count=..., visible=...) after the current launch; AssertionError on timeout."""
    s = session()
    if since is None:
        since = s.current.badge_mark if s.current else 0
    got = s.badge.wait(predicate, timeout, since=since, app_uri=app_uri, **fields)
    if got is None:
        raise AssertionError(f"no badge update matching {predicate or ''} {fields} within {timeout}s; "
                             f"seen {badge_updates(app_uri)}")
    return got


def _variant(value):
    if isinstance(value, GLib.Variant):
        return value
    if isinstance(value, bool):
        return GLib.Variant("b", value)
    if isinstance(value, int):
        return GLib.Variant("i", value)
    if isinstance(value, float):
        return GLib.Variant("d", value)
    return GLib.Variant("s", str(value))


def activate_action(name, param=None, check=True, object_path=APP_OBJECT_PATH, timeout=10):
    """Activates an exported action ("quit", "app.zoom" with 1, ...) through org.gtk.Actions.Activate."""
    name = name[4:] if name.startswith("app.") else name
    plist = "[]" if param is None else f"[<{_variant(param).print_(True)}>]"
    cmd = ["gdbus", "call", "--session", "--dest", APP_ID, "--object-path", object_path,
           "--method", "org.gtk.Actions.Activate", name, plist, "{}"]
    return subprocess.run(cmd, env=session().base_env(), timeout=timeout, capture_output=True, text=True,
                          check=check)


def list_actions(object_path=APP_OBJECT_PATH):
    r = subprocess.run(["gdbus", "call", "--session", "--dest", APP_ID, "--object-path", object_path,
                        "--method", "org.gtk.Actions.List"], env=session().base_env(), timeout=10,
                       capture_output=True, text=True, check=True)
    return GLib.Variant.parse(GLib.VariantType.new("(as)"), r.stdout.strip(), None, None).unpack()[0]


def screenshot(path=None):
    """PNG of the whole display; returns its path."""
    return session().screenshot(path)


def find_window(pid=None, timeout=15):
    """X window id of the app's (or pid's) visible window."""
    return session().find_window(pid=pid or current_app().pid, timeout=timeout)


def _focus(window):
    wid = window or current_app().window_id()
    session().xdotool("windowfocus", "--sync", wid)
    return wid


def key(*keys, window=None):
    """Real key presses (e.g. "ctrl+comma") to the app's window after focusing it."""
    _focus(window)
    session().xdotool("key", "--clearmodifiers", "--delay", "40", *keys)


def type_text(text, window=None):
    _focus(window)
    session().xdotool("type", "--delay", "20", text)


def click(x, y, window=None, button=1):
    """A mouse click at x,y relative to the window."""
    wid = _focus(window)
    geo = window_geometry(wid)
    here = session().xdotool("getmouselocation", "--shell").stdout
    at = {k: int(v) for k, v in (l.split("=", 1) for l in here.split() if "=" in l) if k in ("X", "Y")}
    # xdotool's --sync waits for the pointer to move, forever when it already sits on the spot.
    sync = ["--sync"] if (at.get("X"), at.get("Y")) != (geo["X"] + x, geo["Y"] + y) else []
    session().xdotool("mousemove", "--window", wid, *sync, x, y, "click", button)


def window_geometry(window=None):
    """{X, Y, WIDTH, HEIGHT} of the app's window."""
    wid = window or current_app().window_id()
    out = session().xdotool("getwindowgeometry", "--shell", wid).stdout
    return {k: int(v) for k, v in (l.split("=", 1) for l in out.split() if "=" in l) if k != "WINDOW"}


def settings_path():
    return current_app().home.settings_path


def read_settings(home=None):
    """The app's settings key file as {group: {key: value}}."""
    return (home or current_app().home).read_settings()


class E2ETestCase(unittest.TestCase):
    """Kills whatever a test launched, pass or fail; keeps a screenshot and the app log when
    CORVANE_E2E_ARTIFACTS names a directory."""

    def setUp(self):
        super().setUp()
        self.addCleanup(self._after_test)

    def _after_test(self):
        s = _SESSION
        if s is None:
            return
        out = os.environ.get("CORVANE_E2E_ARTIFACTS")
        if out and s.apps:
            d = os.path.join(out, self.id())
            os.makedirs(d, exist_ok=True)
            try:
                if s.display:
                    s.screenshot(os.path.join(d, "screen.png"))
            except Exception:
                pass
            for i, app in enumerate(s.apps):
                with open(os.path.join(d, f"app-{i}.log"), "w") as f:
                    f.write(app.log())
        for app in s.apps:
            app.kill()
        s.apps, s.current = [], None
