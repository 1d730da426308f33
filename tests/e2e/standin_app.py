"""Stand-in for the app in the harness self-tests: a GTK window on the app's id that records, as JSON
lines in $STANDIN_OUT, its environment, the settings file it found, key presses and actions."""

import json
import os
import signal
import subprocess
import sys

import gi

gi.require_version("Gtk", "4.0")
gi.require_version("Gdk", "4.0")
from gi.repository import Gdk, Gio, GLib, Gtk  # noqa: E402

OUT = os.environ["STANDIN_OUT"]
ENV_KEYS = ("HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "DISPLAY",
            "DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS", "GTK_A11Y", "GSETTINGS_BACKEND",
            "GSK_RENDERER", "WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS")


def record(**kw):
    with open(OUT, "a") as f:
        f.write(json.dumps(kw) + "\n")


def activate(app):
    css = Gtk.CssProvider()
    css.load_from_data(b"window { background: #2C4A3C; }")
    Gtk.StyleContext.add_provider_for_display(Gdk.Display.get_default(), css, 800)
    win = Gtk.ApplicationWindow(application=app, title="stand-in", default_width=640, default_height=480)
    keys = Gtk.EventControllerKey()
    keys.connect("key-pressed", lambda c, kv, code, state: record(
        event="key", key=Gdk.keyval_name(kv), ctrl=bool(state & Gdk.ModifierType.CONTROL_MASK)) or False)
    win.add_controller(keys)
    win.present()
    settings = os.path.join(os.environ["XDG_CONFIG_HOME"], "corvane", "settings.ini")
    text = open(settings).read() if os.path.exists(settings) else None
    child = subprocess.Popen(["sleep", "300"])
    record(event="started", pid=os.getpid(), child=child.pid, settings=text,
           env={k: os.environ.get(k) for k in ENV_KEYS})


def main():
    if os.environ.get("STANDIN_IGNORE_TERM"):
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    app = Gtk.Application(application_id="app.corvane.Corvane")
    quit_action = Gio.SimpleAction.new("quit", None)
    quit_action.connect("activate", lambda *_: (record(event="quit"), app.quit()))
    app.add_action(quit_action)
    say = Gio.SimpleAction.new("say", GLib.VariantType.new("s"))
    say.connect("activate", lambda a, p: record(event="action", name="say", param=p.get_string()))
    app.add_action(say)
    app.connect("activate", activate)
    return app.run(sys.argv[:1])


if __name__ == "__main__":
    sys.exit(main())
