"""End-to-end harness: per test module private D-Bus buses, Xvfb and the demo service; per launch a fresh HOME."""

import atexit
import json
import os
import select
import shlex
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
APP_PATH = os.environ.get("CORVANE_APP") or os.path.join(REPO, "build", "demo", "shell", "gtk", "corvane")
DEMO_DIR = os.environ.get("CORVANE_DEMO_DIR") or os.path.join(REPO, "packaging", "demo")
CERT_DIR = os.environ.get("CORVANE_CERT_DIR") or os.path.join(REPO, "build", "demo-cert")
# Set by the build (CORVANE_APP_ID); the default is for running a module by hand.
APP_ID = os.environ.get("CORVANE_APP_ID") or "app.corvane.Corvane"
APP_OBJECT_PATH = "/" + APP_ID.replace(".", "/")
# The build tree, which holds the desktop entry as configured for this id.
BUILD_DIR = os.environ.get("CORVANE_BUILD_DIR") or os.path.dirname(os.path.dirname(os.path.dirname(APP_PATH)))

# The app's base URL is fixed at build time, so these ports cannot be chosen at random.
APP_PORT, OUTSIDE_PORT, UNTRUSTED_PORT, HTTP_PORT = 47443, 47444, 47445, 47080
BASE_URL = f"https://localhost:{APP_PORT}"
OUTSIDE_URL = f"https://localhost:{OUTSIDE_PORT}"
OTHER_SITE_URL = f"https://127.0.0.1:{OUTSIDE_PORT}"  # the outside server under another site name
UNTRUSTED_URL = f"https://localhost:{UNTRUSTED_PORT}"  # a certificate nothing trusts
PLAIN_URL = f"http://localhost:{HTTP_PORT}"
SIGNIN_START = f"{BASE_URL}/api/auth/google-start"
SCREEN = (1280, 900)
RECORDED_SCHEMES = ("https", "http", "mailto", "tel", "sms", "facetime")
GRACE = 1.0  # for something that must not happen: longer than the app takes to do it

# Without the standard service directories nothing of the real desktop can be activated.
BUS_CONFIG = """<busconfig><type>session</type><keep_umask/><listen>unix:dir={}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>"""

# Inherited variables that would point the app at the real desktop.
_SCRUB = ("DBUS_", "XDG_", "WAYLAND_", "GNOME_", "KDE_", "GIO_", "GTK_", "GDK_", "GSK_", "WEBKIT_", "DISPLAY",
          "XAUTHORITY", "SESSION_MANAGER", "BROWSER", "DESKTOP_SESSION", "AT_SPI_BUS_ADDRESS")

# Fake services and the badge watcher are dispatched here, whatever the test thread is doing.
threading.Thread(target=GLib.MainLoop().run, daemon=True).start()


def _spawn(cmd, **kw):
    # setpriv: the child gets SIGTERM if this process dies, so nothing outlives a killed run.
    return subprocess.Popen(["setpriv", "--pdeathsig", "TERM", "--", *cmd], stdin=subprocess.DEVNULL, **kw)


def _stop(proc, group=False):
    def send(sig):
        try:
            os.killpg(proc.pid, sig) if group else proc.send_signal(sig)
        except ProcessLookupError:
            pass
    if proc.poll() is None:
        send(signal.SIGTERM)
        try:
            proc.wait(3)
        except subprocess.TimeoutExpired:
            send(signal.SIGKILL)
            proc.wait(5)
    if group:
        send(signal.SIGKILL)  # web and network processes left in the group
    if proc.stdout:
        proc.stdout.close()


def _first_line(stream, what, log):
    # select: a child that hangs without a word fails the run instead of blocking it.
    line = select.select([stream], [], [], 15)[0] and stream.readline().strip()
    if not line:
        with open(log) as f:
            raise RuntimeError(f"{what} did not start: {f.read()[-2000:]}")
    return line


def _lines(path):
    """The complete lines written to path so far; none before it exists."""
    try:
        with open(path) as f:
            return [line[:-1] for line in f if line.endswith("\n")]
    except FileNotFoundError:
        return []


def poll(fn, timeout=10):
    """fn()'s first truthy result, or None once timeout has passed."""
    deadline = time.monotonic() + timeout
    while not (got := fn()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return got or None


def expect(fn, what, timeout=10):
    got = poll(fn, timeout)
    if got is None:
        raise AssertionError(f"no {what} within {timeout}s")
    return got


def _a11y_address(conn):
    try:
        return conn.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                              GLib.VariantType("(s)"), Gio.DBusCallFlags.NO_AUTO_START, 2000, None).unpack()[0]
    except GLib.Error:
        return None


def _matches(rec, predicate, fields):
    return (predicate is None or predicate(rec)) and all(rec.get(k) == v for k, v in fields.items())


class FakeService:
    """Owns a well-known name on a private bus; subclasses answer calls (on_call) and property reads (get)."""

    def __init__(self, name, path, xml, system=False):
        self.path = path
        self.conn = _S.connect(_S.system_bus if system else _S.bus)
        info = Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0]
        self.iface = info.name
        self.conn.register_object(path, info, self.on_call, self.get, None)
        reply = self.conn.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                    "RequestName", GLib.Variant("(su)", (name, 4)), None, 0, 5000, None)
        assert reply.unpack()[0] == 1, f"could not own {name}"

    def on_call(self, conn, sender, path, iface, method, params, invocation):
        invocation.return_dbus_error("org.freedesktop.DBus.Error.UnknownMethod", method)

    def get(self, *_):
        return None

    def emit(self, iface, name, value):
        self.conn.emit_signal(None, self.path, iface, name, value)

    def close(self):
        if not self.conn.is_closed():
            self.conn.close_sync(None)


NOTIFICATIONS_XML = """<node><interface name="org.freedesktop.Notifications">
<method name="Notify"><arg type="s"/><arg type="u"/><arg type="s"/><arg type="s"/><arg type="s"/><arg type="as"/>
  <arg type="a{sv}"/><arg type="i"/><arg direction="out" type="u"/></method>
<method name="CloseNotification"><arg type="u"/></method>
<signal name="NotificationClosed"><arg type="u"/><arg type="u"/></signal>
<signal name="ActionInvoked"><arg type="u"/><arg type="s"/></signal>
</interface></node>"""


class NotificationServer(FakeService):
    """A fake org.freedesktop.Notifications; calls gets one dict per Notify."""

    def __init__(self):
        self.calls, self.open = [], set()
        super().__init__("org.freedesktop.Notifications", "/org/freedesktop/Notifications", NOTIFICATIONS_XML)

    def on_call(self, conn, sender, path, iface, method, params, invocation):
        if method == "CloseNotification":
            invocation.return_value(None)
            return self._closed(params.unpack()[0], 3)
        _, replaces, _, summary, body, actions, _, _ = params.unpack()
        nid = replaces or len(self.calls) + 1
        call = {"id": nid, "replaces_id": replaces, "replaced": replaces in self.open, "summary": summary,
                "body": body, "actions": list(actions)}
        self.open.add(nid)
        invocation.return_value(GLib.Variant("(u)", (nid,)))
        self.calls.append(call)

    def _closed(self, nid, reason):
        self.open.discard(nid)
        self.emit(self.iface, "NotificationClosed", GLib.Variant("(uu)", (nid, reason)))

    def invoke_action(self, nid, action="default"):
        """What a server does on a click: the action, then the notice closes."""
        self.emit(self.iface, "ActionInvoked", GLib.Variant("(us)", (nid, action)))
        self._closed(nid, 2)


# What the app sets for itself and its engine on a machine without a GPU.
GPU_SWITCHES = ("GDK_DEBUG", "GDK_DISABLE", "WEBKIT_DISABLE_COMPOSITING_MODE")


class Home:
    """A throwaway HOME with XDG dirs and a default URI handler that records what it is asked to open."""

    def __init__(self, parent):
        self.root = tempfile.mkdtemp(prefix="home-", dir=parent)
        self.home = os.path.join(self.root, "home")
        config, data, runtime = f"{self.home}/.config", f"{self.home}/.local/share", f"{self.root}/runtime"
        self.env = dict(_S.env, HOME=self.home, XDG_CONFIG_HOME=config, XDG_DATA_HOME=data,
                        XDG_CACHE_HOME=f"{self.home}/.cache", XDG_RUNTIME_DIR=runtime)
        os.makedirs(f"{data}/applications")
        os.makedirs(config)
        os.makedirs(runtime, 0o700)
        self.opened_file = f"{self.root}/opened-uris.txt"
        self.settings_path = f"{config}/corvane/settings.ini"
        script = f"{self.root}/record-uri.sh"
        # It also keeps the GPU switches it was started with, which are not the app's to hand on.
        self.opened_env_file = f"{self.root}/opened-env.txt"
        _write(script, f"#!/bin/sh\nenv | grep -E '^({'|'.join(GPU_SWITCHES)})=' >> {shlex.quote(self.opened_env_file)}\n"
               f"for u in \"$@\"; do printf '%s\\n' \"$u\" >> {shlex.quote(self.opened_file)}; done\n")
        os.chmod(script, 0o755)
        _write(f"{data}/applications/recorder.desktop", "[Desktop Entry]\nType=Application\nName=Recorder\n"
               f"Exec={script} %u\nMimeType={''.join(f'x-scheme-handler/{s};' for s in RECORDED_SCHEMES)}\n")
        defaults = "".join(f"x-scheme-handler/{s}=recorder.desktop\n" for s in RECORDED_SCHEMES)
        _write(f"{config}/mimeapps.list", f"[Default Applications]\n{defaults}")

    def opened_uris(self):
        return _lines(self.opened_file)

    def opened_env(self):
        return _lines(self.opened_env_file)

    def write_settings(self, settings):
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        kf = GLib.KeyFile()
        for group, values in settings.items():
            for k, v in values.items():
                kf.set_string(group, k, str(v).lower() if isinstance(v, bool) else str(v))
        kf.save_to_file(self.settings_path)

    def read_settings(self):
        """{group: {key: text}}; {} before the file exists."""
        if not os.path.exists(self.settings_path):
            return {}
        kf = GLib.KeyFile()
        kf.load_from_file(self.settings_path, GLib.KeyFileFlags.NONE)
        return {g: {k: kf.get_string(g, k) for k in kf.get_keys(g)[0]} for g in kf.get_groups()[0]}


def _write(path, text):
    with open(path, "w") as f:
        f.write(text)


class App:
    """One launch of the app, in its own process group."""

    def __init__(self, args, home, env, cwd=None, exe=None):
        self.home, self.env = home, env
        self.report_mark, self.request_mark, self.badge_mark = len(_S.reports()), len(_S.requests()), len(_S.badges)
        self.started = time.monotonic()
        with open(f"{home.root}/app.log", "ab") as log:
            self.proc = _spawn([exe or APP_PATH, *args], env=env, cwd=cwd or home.home, stdout=log, stderr=subprocess.STDOUT,
                               start_new_session=True)
        self.pid = self.proc.pid
        self._wid = None

    def alive(self):
        return self.proc.poll() is None

    def log(self):
        with open(f"{self.home.root}/app.log", errors="replace") as f:
            return f.read()

    def kill(self):
        _stop(self.proc, group=True)

    def web_process_pids(self):
        rows = run("ps", "-e", "-o", "pid=,pgid=,stat=,comm=").splitlines()
        return [int(pid) for pid, pgid, stat, name in (row.split(None, 3) for row in rows)
                if int(pgid) == self.pid and stat[0] != "Z" and name.startswith("WebKitWebProces")]

    def run_again(self, args, env=None):
        """A second launch in the same environment (and env), which hands its arguments to the running one."""
        return subprocess.run([APP_PATH, *args], env=dict(self.env, **(env or {})), cwd=self.home.home, timeout=15,
                              stdin=subprocess.DEVNULL, capture_output=True)

    def window_id(self):
        if self._wid is None:
            self._wid = expect(lambda: (windows(self.pid) or [None])[0], "visible window", 15)
        return self._wid


class Session:
    """Private buses, Xvfb (or with wayland, a headless weston and no X display) and (unless demo is
    False) the demo service, for one test module; with a11y, the accessibility bus a screen reader uses."""

    def __init__(self, demo=True, wayland=False, a11y=False):
        self.tmp, self.wayland = tempfile.mkdtemp(prefix="corvane-e2e-"), wayland
        self.procs, self.apps, self.conns, self.badges = [], [], [], []
        self.reports_file, self.requests_file = f"{self.tmp}/reports.jsonl", f"{self.tmp}/requests.jsonl"
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(_SCRUB)}
        self.env.update(LANG="C.UTF-8", GTK_A11Y="none", NO_AT_BRIDGE="1", GSETTINGS_BACKEND="memory",
                        GSK_RENDERER="cairo", GDK_BACKEND="x11", WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
        try:
            self.bus, self.system_bus = self._bus("session"), self._bus("system")
            self.env.update(DBUS_SESSION_BUS_ADDRESS=self.bus, DBUS_SYSTEM_BUS_ADDRESS=self.system_bus)
            if wayland:
                self._start_weston()
            else:
                self._start_xvfb()
            if a11y:
                self._start_a11y_bus()
            if demo:
                self.start_demo()
            conn = self.connect(self.bus)
            conn.signal_subscribe(None, "com.canonical.Unity.LauncherEntry", "Update", None,
                                  f"application://{APP_ID}.desktop", 0, self._on_badge)
            # A round trip puts the match rule in place before any test can emit.
            conn.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId",
                           None, None, 0, 5000, None)
        except BaseException:
            self.close()
            raise

    def _start_xvfb(self):
        r, w = os.pipe()
        proc = self._start("xvfb", ["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % SCREEN,
                                    "-nolisten", "tcp", "-noreset"], pass_fds=(w,))
        os.close(w)
        with os.fdopen(r) as displayfd:
            self.display = ":" + _first_line(displayfd, "Xvfb", proc.log)
        self.env.update(DISPLAY=self.display)

    def _start_a11y_bus(self):
        # The desktop's launcher owns org.a11y.Bus on the session bus and starts the registry on its own
        # bus; the app finds it there, as on a desktop. This process reads the tree over it too.
        for name in ("GTK_A11Y", "NO_AT_BRIDGE"):
            del self.env[name]
        # Its socket goes in the runtime folder, else into ~/.cache under the display's number, which other
        # sessions share; its bus and registry stay in its process group, to go with it.
        runtime = f"{self.tmp}/a11y-runtime"
        os.makedirs(runtime, 0o700)
        proc = self._start("a11y-bus", ["/usr/libexec/at-spi-bus-launcher"], stdout=subprocess.DEVNULL,
                           env=dict(self.env, XDG_RUNTIME_DIR=runtime), start_new_session=True)
        proc.group = True
        conn = self.connect(self.bus)
        self.a11y_bus = expect(lambda: _a11y_address(conn), "accessibility bus", 10)
        os.environ["AT_SPI_BUS_ADDRESS"] = self.a11y_bus

    def _start_weston(self):
        # No seat at all, as on a headless compositor; --debug lets weston-screenshooter take shots. The
        # socket's absolute path outlives each launch's own XDG_RUNTIME_DIR.
        runtime = f"{self.tmp}/wayland"
        os.makedirs(runtime, 0o700)
        self._start("weston", ["weston", "--backend=headless-backend.so", "--socket=wayland-0", "--idle-time=0",
                               "--width=%d" % SCREEN[0], "--height=%d" % SCREEN[1], "--use-pixman", "--debug"],
                    env=dict(self.env, XDG_RUNTIME_DIR=runtime), stdout=subprocess.DEVNULL)
        self.display = f"{runtime}/wayland-0"
        expect(lambda: os.path.exists(self.display + ".lock") and os.path.exists(self.display), "weston socket", 15)
        self.env.update(GDK_BACKEND="wayland", WAYLAND_DISPLAY=self.display)

    def start_window_manager(self):
        """metacity, the desktop's window manager, on the test display (without compositing, as Xvfb has
        no GL); returns once it manages the screen."""
        proc = self._start("metacity", ["metacity", "--sm-disable", "--no-composite", "--replace"],
                           env=self.env, stdout=subprocess.DEVNULL)
        expect(lambda: "window id #" in run("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False),
               "window manager", 10)
        self.wm = proc
        return proc

    def _on_badge(self, conn, sender, path, iface, name, params, *_):
        props = params.unpack()[1]
        self.badges.append({"count": props.get("count"), "visible": props.get("count-visible"), "t": time.time()})

    def _start(self, name, cmd, **kw):
        with open(f"{self.tmp}/{name}.log", "ab") as log:
            proc = _spawn(cmd, stderr=log, **kw)
        proc.log = log.name
        self.procs.append(proc)
        return proc

    def _bus(self, name):
        os.makedirs(f"{self.tmp}/{name}-bus")
        _write(f"{self.tmp}/{name}-bus.conf", BUS_CONFIG.format(f"{self.tmp}/{name}-bus"))
        proc = self._start(f"{name}-bus", ["dbus-daemon", f"--config-file={self.tmp}/{name}-bus.conf", "--nofork",
                                           "--nopidfile", "--nosyslog", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True)
        return _first_line(proc.stdout, f"dbus-daemon ({name})", proc.log)

    def start_demo(self, *args):
        proc = self._start("demo", ["/usr/bin/python3", f"{DEMO_DIR}/demo_service.py", "--cert-dir", CERT_DIR,
                                    "--report-file", self.reports_file, "--request-log", self.requests_file, *args],
                           stdout=subprocess.PIPE, text=True)
        _first_line(proc.stdout, "demo service", proc.log)  # its "ready" line; it says nothing else first
        return proc

    def stop(self, proc):
        _stop(proc)
        self.procs.remove(proc)

    def connect(self, address):
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        conn = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
        self.conns.append(conn)
        return conn

    def reports(self):
        return [json.loads(line) for line in _lines(self.reports_file)]

    def requests(self):
        return [json.loads(line) for line in _lines(self.requests_file)]

    def close(self):
        kill_app(self)
        for conn in self.conns:
            if not conn.is_closed():
                conn.close_sync(None)
        for proc in reversed(self.procs):
            _stop(proc, getattr(proc, "group", False))
        shutil.rmtree(self.tmp, ignore_errors=True)


_S = None


def session():
    return _S


def start_session(demo=True, wayland=False, a11y=False):
    global _S
    _S = Session(demo, wayland, a11y)
    return _S


def stop_session():
    global _S
    s, _S = _S, None
    if s:
        s.close()


def setUpModule():
    start_session()


def setUpModuleWithWindowManager():
    start_session().start_window_manager()


def tearDownModule():
    stop_session()


def _on_sigterm(signum, frame):
    # A runner's timeout: clean up, then leave at once rather than let unittest go on to the next test.
    try:
        stop_session()
    finally:
        os._exit(128 + signum)


atexit.register(stop_session)
signal.signal(signal.SIGTERM, _on_sigterm)


def run(*cmd, check=True):
    """stdout of cmd, run in the test display's and buses' environment."""
    return subprocess.run([str(c) for c in cmd], env=_S.env, capture_output=True, text=True, timeout=30,
                          check=check).stdout


def current_app():
    return _S.apps[-1]


def launch_app(path=None, loaded=False, args=(), env=None, home=None, cwd=None, exe=None, **settings):
    """Starts the app (or exe) in a fresh home (or the given one; started in cwd, else the home), first
    storing path as its last path and any other settings; with loaded, waits for the page to load."""
    home = home or Home(_S.tmp)
    if path is not None:
        home.write_settings({"Corvane": {"lastPath": path, **settings}})
    app = App(args, home, dict(home.env, **(env or {})), cwd, exe)
    _S.apps.append(app)
    if loaded:
        wait_for_report(event="loaded", page=path, top=True, timeout=20)
    return app


def kill_app(s=None):
    """Kills every app launched so far."""
    s = s or _S
    for app in s.apps:
        app.kill()
    s.apps.clear()


def quit_app(via="action", timeout=10):
    """Asks the app to quit by "action", "menu" (its last row, by keys) or "signal" (SIGTERM); returns
    (status, seconds)."""
    app, t0 = current_app(), time.monotonic()
    if via == "action":
        activate_action("quit", check=False)
    elif via == "menu":
        open_menu("alt+c")
        t0 = time.monotonic()
        key("Up", "Return")
    else:
        app.proc.terminate()
    try:
        return app.proc.wait(timeout), time.monotonic() - t0
    finally:
        app.kill()


def _mark(since, attr):
    return since if since is not None else getattr(_S.apps[-1], attr) if _S.apps else 0


def report_count():
    return len(_S.reports())


def reports(predicate=None, since=None, **fields):
    """Page reports since the current launch (or index since) matching predicate and fields."""
    return [r for r in _S.reports()[_mark(since, "report_mark"):] if _matches(r, predicate, fields)]


def wait_for_report(predicate=None, timeout=10, since=None, **fields):
    got = poll(lambda: reports(predicate, since, **fields), timeout)
    if not got:
        raise AssertionError(f"no report {fields} within {timeout}s; recent: {reports(since=since)[-12:]}")
    return got[0]


def assert_no_report(predicate=None, within=2.0, since=None, **fields):
    got = poll(lambda: reports(predicate, since, **fields), within)
    assert not got, f"unexpected report: {got}"


def requests_seen(since=None, **fields):
    """Requests that reached the demo service ({t, method, port, path, dest}) since the current launch."""
    return [r for r in _S.requests()[_mark(since, "request_mark"):] if _matches(r, None, fields)]


def wait_for_request(timeout=10, **fields):
    return expect(lambda: requests_seen(**fields), f"request {fields}", timeout)[0]


def opened_uris():
    """What the default URI handler was asked to open, in order."""
    return current_app().home.opened_uris()


def wait_for_opened_uri(uri, timeout=10):
    if not poll(lambda: uri in opened_uris(), timeout):
        raise AssertionError(f"{uri} not opened within {timeout}s; opened {opened_uris()}")


def badge_updates():
    """Launcher badge updates since the current launch: {count, visible, t (when seen)}."""
    return _S.badges[_mark(None, "badge_mark"):]


def wait_for_badge(timeout=10, since=None, **fields):
    return expect(lambda: [u for u in _S.badges[_mark(since, "badge_mark"):] if _matches(u, None, fields)],
                  f"badge {fields}", timeout)[0]


def activate_action(name, param=None, check=True):
    """Activates an app action over D-Bus, as a desktop menu does."""
    arg = "[]" if param is None else f"[<{GLib.Variant('i' if isinstance(param, int) else 's', param).print_(True)}>]"
    run("gdbus", "call", "--session", "--dest", APP_ID, "--object-path", APP_OBJECT_PATH,
        "--method", "org.gtk.Actions.Activate", name, arg, "{}", check=check)


def windows(pid=None, name=None):
    """Visible X windows of the app (or pid); with name, those whose title matches that regular expression."""
    named = ("--all", "--name", name) if name else ()  # the pattern goes last
    return [int(w) for w in run("xdotool", "search", "--onlyvisible", "--pid", pid or current_app().pid, *named,
                                check=False).split()]


def _shell(cmd, *args):
    out = run("xdotool", cmd, "--shell", *args)
    return {k: int(v) for k, v in (line.split("=") for line in out.split())}


def window_geometry(window=None):
    """{X, Y, WIDTH, HEIGHT} of the app's window."""
    return _shell("getwindowgeometry", window or current_app().window_id())


def _focus(window):
    window = window or current_app().window_id()
    run("xdotool", "windowfocus", "--sync", window)
    return window


def key(*keys, window=None):
    """Real key presses (e.g. "ctrl+comma") to the app's window (or window)."""
    _focus(window)
    run("xdotool", "key", "--clearmodifiers", "--delay", "40", *keys)


def open_menu(*keys, at=None):
    """Opens a menu by its keys (or a click at `at`) and waits until its popup is on screen."""
    before = set(windows())
    if at:
        click(*at)
    else:
        key(*keys)
    return expect(lambda: set(windows()) - before, "menu popup", 5)


def type_text(text, window=None):
    _focus(window)
    run("xdotool", "type", "--delay", "20", text)


def paste_text(text, window=None):
    """Puts text on the clipboard and pastes it with Ctrl+V, whole: typed into a field that completes as it
    is typed, a long path can come out garbled. The clipboard's owner stays until the session ends, as the
    toolkit reads the clipboard when it likes."""
    owner = subprocess.Popen(["setpriv", "--pdeathsig", "TERM", "--", "xclip", "-selection", "clipboard", "-quiet"],
                             env=_S.env, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _S.procs.append(owner)
    owner.stdin.write(text.encode())
    owner.stdin.close()
    expect(lambda: run("xclip", "-selection", "clipboard", "-o", check=False) == text, "text on the clipboard", 5)
    key("ctrl+v", window=window)


def click(x, y, window=None):
    """A real click at x,y in the app's window (or window); negative: from its right or bottom edge."""
    wid = _focus(window)
    geo, at = window_geometry(wid), _shell("getmouselocation")
    x, y = x % geo["WIDTH"], y % geo["HEIGHT"]
    # --sync waits for the pointer to move: forever when it already sits on the spot.
    sync = ["--sync"] if (at["X"], at["Y"]) != (geo["X"] + x, geo["Y"] + y) else []
    run("xdotool", "mousemove", "--window", wid, *sync, x, y, "click", 1)


def wm_state(window=None):
    """The window manager's _NET_WM_STATE for the app's window, e.g. {"MAXIMIZED_VERT", "HIDDEN"}."""
    out = run("xprop", "-id", window or current_app().window_id(), "_NET_WM_STATE", check=False)
    return {a.strip().removeprefix("_NET_WM_STATE_") for a in out.partition("=")[2].split(",") if a.strip()}


def pointer(x, y, *then):
    """Moves the real pointer to x,y of the screen, then runs xdotool's commands in then."""
    run("xdotool", "mousemove", x, y, *then)


def read_settings():
    return current_app().home.read_settings()


def saved(key):
    """The current launch's stored setting key, or None."""
    return read_settings().get("Corvane", {}).get(key)


class E2ETestCase(unittest.TestCase):
    """Kills whatever a test launched, pass or fail."""

    def setUp(self):
        self.addCleanup(kill_app)
