"""Stand-in for the app in the harness self-tests: a bare WebKit window that trusts the demo certificate
for localhost and loads argv[1]; the app action "load" (a URL) loads another page."""

import os
import sys

import gi

gi.require_version("Gtk", "4.0")
gi.require_version("WebKit", "6.0")
from gi.repository import Gio, GLib, Gtk, WebKit  # noqa: E402


def main():
    app = Gtk.Application(application_id="app.corvane.Corvane")
    views = []

    def activate(app):
        WebKit.NetworkSession.get_default().allow_tls_certificate_for_host(
            Gio.TlsCertificate.new_from_file(os.environ["CORVANE_CERT"]), "localhost")
        win = Gtk.ApplicationWindow(application=app, default_width=1024, default_height=720)
        view = WebKit.WebView()
        views.append(view)
        win.set_child(view)
        win.present()
        view.load_uri(sys.argv[1])

    load = Gio.SimpleAction.new("load", GLib.VariantType.new("s"))
    load.connect("activate", lambda a, p: views[0].load_uri(p.get_string()))
    app.add_action(load)
    app.connect("activate", activate)
    return app.run(sys.argv[:1])


if __name__ == "__main__":
    sys.exit(main())
