#!/usr/bin/python3
"""Loopback demo farm service for Corvane desktop: the app's pages, the outside site and test pages.

Run: demo_service.py --cert-dir DIR [--report-file F] [--request-log F]
See README.md beside this file.
"""

import argparse
import errno
import html
import io
import json
import os
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import zipfile
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, quote, urlencode, urlsplit

HERE = os.path.dirname(os.path.abspath(__file__))


class Config:
    app_port = 47443
    outside_port = 47444
    untrusted_port = 47445
    http_port = 47080
    report_file = None
    request_log = None
    updates_dir = None

    @property
    def app(self):
        return f"https://localhost:{self.app_port}"

    @property
    def outside(self):
        return f"https://localhost:{self.outside_port}"

    @property
    def other_site(self):
        # The outside server again, under another site name: real outside links are other sites.
        return f"https://127.0.0.1:{self.outside_port}"

    @property
    def untrusted(self):
        return f"https://localhost:{self.untrusted_port}"

    @property
    def plain(self):
        return f"http://localhost:{self.http_port}"


CFG = Config()
_write_lock = threading.Lock()
_counter_lock = threading.Lock()
_load_counts = {}


def append_line(path, record):
    if not path:
        return
    line = json.dumps(record, ensure_ascii=False, separators=(",", ":")) + "\n"
    with _write_lock:
        with open(path, "a", encoding="utf-8") as f:
            f.write(line)


def esc(value):
    return html.escape(str(value), quote=True)


def js(value):
    # Safe inside a <script> element: no "</" can close it early.
    return json.dumps(value).replace("</", "<\\/").replace("<!--", "<\\!--")


# ---------------------------------------------------------------- page frame

CSS = """
:root { color-scheme: light dark; --ground:#E3E5DF; --card:#F4F1EA; --ink:#1B1F1A; --ink2:#4C5348;
  --line:#C9CCC3; --fir:#2C4A3C; --accent:#2C4A3C; --cream:#F4F1EA; --warn:#8A4B12; }
@media (prefers-color-scheme: dark) { :root { --ground:#1D221F; --card:#262C28; --ink:#E7EAE4;
  --ink2:#B4BBB1; --line:#3A423C; --accent:#8DBFA5; --warn:#E0A96D; } }
* { box-sizing: border-box; }
body { margin:0; background:var(--ground); color:var(--ink); font:15px/1.5 system-ui, "Cantarell", "DejaVu Sans", sans-serif; }
header { display:flex; align-items:center; gap:18px; padding:14px 28px; padding-top:36px; border-bottom:1px solid var(--line); }
header .brand { font-family: Georgia, "DejaVu Serif", serif; font-size:20px; color:var(--ink); text-decoration:none; }
header nav a { color:var(--ink2); margin-right:14px; text-decoration:none; }
header nav a:hover, a:hover { text-decoration:underline; }
main { max-width:980px; margin:0 auto; padding:24px 28px 48px; }
h1 { font-family: Georgia, "DejaVu Serif", serif; font-weight:400; font-size:30px; margin:8px 0 4px; }
h2 { font-size:15px; text-transform:uppercase; letter-spacing:.06em; color:var(--ink2); margin:0 0 10px; }
p.lead { color:var(--ink2); margin-top:0; }
a { color:var(--accent); }
.grid { display:grid; grid-template-columns:repeat(auto-fit, minmax(280px, 1fr)); gap:16px; margin-top:18px; align-items:start; }
.card { background:var(--card); border:1px solid var(--line); border-radius:12px; padding:16px 18px; }
button, .btn { font:inherit; border:1px solid var(--line); background:var(--card); color:var(--ink);
  border-radius:18px; padding:6px 14px; cursor:pointer; margin:2px 4px 2px 0; text-decoration:none; display:inline-block; }
button.primary, .btn.primary { background:var(--fir); border-color:var(--fir); color:var(--cream); }
table { border-collapse:collapse; width:100%; }
td, th { text-align:left; padding:6px 4px; border-bottom:1px solid var(--line); }
th { color:var(--ink2); font-weight:500; }
ul.log { list-style:none; padding:0; margin:0; max-height:180px; overflow:auto; font:13px/1.4 ui-monospace, "DejaVu Sans Mono", monospace; }
ul.log li { padding:3px 0; border-bottom:1px dashed var(--line); }
.muted { color:var(--ink2); }
.pill { display:inline-block; min-width:26px; padding:0 8px; border-radius:12px; background:var(--fir); color:var(--cream); text-align:center; }
iframe { width:100%; height:150px; border:1px solid var(--line); border-radius:10px; background:var(--card); }
code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; }
.t-body { padding:36px 20px 20px; }
.t-body a, .t-body button { margin:4px 8px 4px 0; }
"""

# Every page reports through R(); a page's report lands on its own origin unless told otherwise.
REPORT_JS = """
(function () {
  var seq = 0;
  window.R = function (o, to) {
    var rec = Object.assign({ page: location.pathname + location.search, seq: ++seq }, o || {});
    var b = JSON.stringify(rec), u = to || "/report";
    try { if (navigator.sendBeacon && navigator.sendBeacon(u, new Blob([b], { type: "text/plain" }))) return; } catch (e) {}
    try { fetch(u, { method: "POST", body: b, keepalive: true, headers: { "Content-Type": "text/plain" } }).catch(function () {}); } catch (e) {}
  };
  window.addEventListener("error", function (e) {
    R({ event: "script-error", message: String(e.message), line: e.lineno });
  });
  window.Q = new URLSearchParams(location.search);
  window.bridgeInfo = function () {
    var d = window.cvDesktop;
    return d ? { present: true, platform: d.platform, version: d.version } : { present: false };
  };
})();
"""

# Test pages: ?focus=ID focuses an element (for a real key press), ?click=ID clicks it after ?delay= ms,
# ?fill=ID stretches an element over the whole viewport (a real click anywhere lands on it).
DRIVE_JS = """
window.addEventListener("load", function () {
  var f = Q.get("focus"), c = Q.get("click"), d = +(Q.get("delay") || 0), fl = Q.get("fill");
  if (fl && document.getElementById(fl)) {
    var s = document.getElementById(fl).style;
    s.position = "fixed"; s.left = s.top = "0"; s.width = "100vw"; s.height = "100vh"; s.margin = "0";
    s.zIndex = "9999"; s.display = "block"; s.background = "#D9C27A";
  }
  if (f && document.getElementById(f)) document.getElementById(f).focus();
  if (c && document.getElementById(c)) setTimeout(function () {
    var el = document.getElementById(c);
    if (el.tagName === "FORM") el.requestSubmit(); else el.click();
  }, d);
});
"""


def page(title, body, script="", head_extra="", app_nav=True, test=False):
    nav = ""
    if app_nav:
        nav = (f'<header><a class="brand" href="/farm">Corvane farm</a><nav>'
               '<a href="/farm">Overview</a><a href="/records?id=7">Records</a>'
               '<a href="/care">Care</a><a href="/privacy">Privacy</a></nav></header>')
    main = f'<div class="t-body">{body}</div>' if test else f"<main>{body}</main>"
    drive = DRIVE_JS if test else ""
    return (f'<!doctype html><html lang="en"><head><meta charset="utf-8">'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">'
            f'<meta name="color-scheme" content="light dark">'
            f"<title>{esc(title)}</title><style>{CSS}</style>{head_extra}"
            f"<script>{REPORT_JS}{drive}</script></head>"
            f"<body>{nav}{main}<script>{script}</script></body></html>")


LOADED_JS = """
window.addEventListener("load", function () { R(Object.assign({ event: "loaded", top: window === window.top,
  bridge: bridgeInfo() }, window.LOAD_EXTRA || {})); });
"""

# ---------------------------------------------------------------- demo app

ANIMALS = {
    3: ("Clover", "Jersey cow", "Home paddock", "Calved 12 March; heifer calf doing well."),
    7: ("Bramble", "Highland heifer", "North field", "Hoof trim due; slight limp noted on the left hind."),
    12: ("Pip", "Texel ewe", "Orchard", "Twins expected in April."),
    21: ("Marigold", "Light Sussex hen", "Coop B", "Laying again after moult."),
}


def farm_page():
    rows = "".join(
        f'<tr><td><a href="/records?id={i}">{esc(n)}</a></td><td>{esc(k)}</td><td>{esc(p)}</td></tr>'
        for i, (n, k, p, _) in ANIMALS.items())
    signin = f"{CFG.app}/api/auth/google-start"
    body = f"""
<h1>Good morning, Hollow Brook Farm</h1>
<p class="lead">Four animals on record, one care task due this week.</p>
<p id="where" class="muted"></p>
<div class="grid">
  <section class="card"><h2>Animals</h2>
    <table><tr><th>Name</th><th>Kind</th><th>Where</th></tr>{rows}</table>
    <p><input id="search" placeholder="Search animals" style="font:inherit;padding:5px 10px;border-radius:14px;border:1px solid var(--line);background:var(--ground);color:var(--ink)"></p>
  </section>
  <section class="card"><h2>Desktop events</h2>
    <ul class="log" id="log"><li class="muted">Waiting for menu commands, navigation and sign-in returns.</li></ul>
  </section>
  <section class="card"><h2>Badge</h2>
    <p>Tasks due: <span class="pill" id="badge">0</span></p>
    <button data-n="0">Clear</button><button data-n="3">3</button><button data-n="12">12</button><button data-n="1200">1200</button>
  </section>
  <section class="card"><h2>Account and links</h2>
    <p><button class="primary" id="signin">Sign in with Google</button></p>
    <p><button id="remind">Remind me about Bramble</button> <button id="print">Print overview</button></p>
    <p><a href="/records?id=7">Bramble's record</a> · <a href="/care">Care notices</a> · <a href="/privacy">Privacy</a></p>
    <p><a id="outside" href="{CFG.outside}/outside?from=farm">Breed society website</a> <span class="muted">(opens in your browser)</span></p>
  </section>
  <section class="card" style="grid-column:1/-1"><h2>Weather at the farm</h2>
    <iframe id="weather" src="{CFG.outside}/embed" title="Weather"></iframe>
  </section>
</div>"""
    script = LOADED_JS + f"""
var SIGNIN = {js(signin)};
var logEl = document.getElementById("log"), first = true;
function log(kind, text) {{
  if (first) {{ logEl.innerHTML = ""; first = false; }}
  var li = document.createElement("li");
  li.textContent = new Date().toLocaleTimeString() + "  " + kind + ": " + text;
  logEl.prepend(li);
}}
var d = window.cvDesktop;
document.getElementById("where").textContent = d
  ? "Running in Corvane desktop " + d.version + "."
  : "Running in a browser: desktop features are off.";
if (d) {{
  d.onMenuCommand(function (cmd) {{
    log("menu", cmd); R({{ event: "menu", cmd: cmd }});
    if (cmd === "search") document.getElementById("search").focus();
    if (cmd === "print") window.print();
  }});
  d.onNavigate(function (path) {{ log("navigate", path); R({{ event: "navigate", path: path }}); }});
  d.onAuthCallback(function (url) {{ log("sign-in return", url); R({{ event: "auth", url: url }}); }});
}}
document.querySelectorAll("button[data-n]").forEach(function (b) {{
  b.addEventListener("click", function () {{
    var n = +b.dataset.n;
    document.getElementById("badge").textContent = n;
    if (d) d.setBadge(n);
    R({{ event: "setBadge", n: n }});
  }});
}});
document.getElementById("signin").addEventListener("click", function () {{
  if (d) d.openExternal(SIGNIN); else location.href = SIGNIN;
}});
document.getElementById("remind").addEventListener("click", function () {{
  if (d) d.notify({{ title: "Bramble: hoof trim due", body: "North field, left hind.", tag: "bramble-hoof", url: "/records?id=7" }});
  log("notify", "Bramble: hoof trim due");
}});
document.getElementById("print").addEventListener("click", function () {{ window.print(); }});
window.addEventListener("beforeprint", function () {{ R({{ event: "beforeprint" }}); }});
window.addEventListener("afterprint", function () {{ log("print", "done"); R({{ event: "afterprint" }}); }});
window.addEventListener("pagehide", function (e) {{ R({{ event: "pagehide", persisted: e.persisted }}); }});
"""
    return page("Overview · Corvane farm", body, script)


def record_page(q):
    raw = q.get("id", [""])[0]
    try:
        animal = ANIMALS.get(int(raw))
    except ValueError:
        animal = None
    if animal:
        name, kind, where, note = animal
        body = (f"<h1>{esc(name)}</h1><p class=\"lead\">{esc(kind)} · {esc(where)} · record {esc(raw)}</p>"
                f'<div class="grid"><section class="card"><h2>Latest note</h2><p>{esc(note)}</p></section>'
                '<section class="card"><h2>Weights</h2><table><tr><th>Date</th><th>kg</th></tr>'
                "<tr><td>1 Feb</td><td>312</td></tr><tr><td>1 Mar</td><td>326</td></tr></table></section></div>")
    else:
        body = f'<h1>No such record</h1><p class="lead">There is no animal with id {esc(raw)}.</p>'
    return page("Record · Corvane farm", body, LOADED_JS)


def care_page(query):
    items = "".join(f"<tr><td><code>{esc(k)}</code></td><td>{esc(v)}</td></tr>"
                    for k, vs in parse_qs(query, keep_blank_values=True).items() for v in vs)
    detail = (f"<table><tr><th>Parameter</th><th>Value</th></tr>{items}</table>" if items
              else '<p class="muted">No notice was opened.</p>')
    body = (f'<h1>Care notices</h1><p class="lead">What a notice brought you here with.</p>'
            f'<section class="card"><h2>Opened with</h2><p><code id="query">{esc("?" + query if query else "")}</code></p>'
            f"{detail}</section>")
    return page("Care · Corvane farm", body, "window.LOAD_EXTRA = { query: location.search };" + LOADED_JS)


def privacy_page():
    body = ('<h1>Privacy</h1><p class="lead">Your farm records stay with your farm.</p><section class="card">'
            "<p>Corvane stores the animals, notes and tasks you enter, and nothing else. We do not sell data "
            "and we do not track you across other sites. The desktop app remembers the last page you viewed "
            "and your window size on this computer only.</p></section>")
    return page("Privacy · Corvane farm", body, LOADED_JS)


def welcome_page():
    body = ('<h1>Welcome to Corvane</h1><p class="lead">Keep the records of your farm and its animals in one place.</p>'
            '<section class="card"><p>Start by signing in; your herd book opens right after.</p>'
            '<p><a class="btn primary" href="/signin">Sign in</a> <a class="btn" href="/farm">Look around</a></p></section>')
    return page("Welcome · Corvane farm", body, LOADED_JS)


def signin_page():
    signin = f"{CFG.app}/api/auth/google-start"
    body = ('<h1>Sign in</h1><p class="lead">Sign-in opens in your web browser and comes back here.</p>'
            '<section class="card"><p><button class="primary" id="go">Continue with Google</button></p>'
            '<p id="state" class="muted"></p></section>')
    script = LOADED_JS + f"""
var d = window.cvDesktop, S = {js(signin)};
if (d) d.onAuthCallback(function (url) {{
  document.getElementById("state").textContent = "Signed in (" + url + ")";
  R({{ event: "auth", url: url }});
}});
document.getElementById("go").addEventListener("click", function () {{
  if (d) {{ d.openExternal(S); document.getElementById("state").textContent = "Continue in your browser…"; }}
  else location.href = S;
}});
"""
    return page("Sign in · Corvane farm", body, script, app_nav=False)


def google_start_page(query):
    body = ('<h1>Choose an account</h1><p class="lead">Demo sign-in provider for Corvane farm.</p>'
            '<section class="card"><p>Signing in as <b>farmer@hollowbrook.example</b>.</p>'
            '<p><a class="btn primary" id="back" href="corvane-desktop://auth?code=demo-code&amp;state=demo">'
            "Continue to Corvane</a></p>"
            f'<p class="muted">Request: <code>{esc(query or "(no parameters)")}</code></p></section>')
    return page("Sign in with Google", body, LOADED_JS, app_nav=False)


def outside_page(query, method="GET", form=None):
    extra = {"method": method}
    if form is not None:
        extra["form"] = form
    body = ('<h1>Highland Cattle Society</h1><p class="lead">An outside website. The desktop app opens this '
            'in your browser, never inside its own window.</p>'
            f'<section class="card"><p>Arrived with <code>{esc(query or "(nothing)")}</code> by {esc(method)}.</p></section>')
    return page("Highland Cattle Society", body, f"window.LOAD_EXTRA = {js(extra)};" + LOADED_JS, app_nav=False)


def embed_page():
    body = ('<div style="padding:10px 14px"><b>Hollow Brook</b> · 9 °C, light rain clearing by noon. '
            '<span class="muted">Wind SW 14 km/h.</span><br><span class="muted">Served by an outside site.</span></div>')
    return page("Weather", body, LOADED_JS, app_nav=False)


def index_page():
    links = "".join(f'<li><a href="{p}">{p}</a></li>' for p in
                    ("/farm", "/records?id=7", "/care?follow_up=demo", "/privacy", "/welcome", "/signin"))
    body = f'<h1>Corvane farm demo</h1><p class="lead">Demo service pages.</p><section class="card"><ul>{links}</ul></section>'
    return page("Corvane farm demo", body, LOADED_JS)


# ---------------------------------------------------------------- test pages

def t_links(q):
    to = q.get("to", ["/t/landed?from=to"])[0]
    body = f"""
<a id="in" href="/t/landed?from=link">in-app</a>
<a id="out" href="{CFG.outside}/outside?from=link">outside</a>
<a id="other" href="{CFG.other_site}/outside?from=link">outside, another site</a>
<a id="http" href="{CFG.plain}/outside?from=link">outside http</a>
<a id="blank-in" target="_blank" href="/t/landed?from=blank">in-app, new window</a>
<a id="blank-out" target="_blank" href="{CFG.outside}/outside?from=blank">outside, new window</a>
<a id="mailto" href="mailto:vet@example.org?subject=Bramble">mail</a>
<a id="to" href="{esc(to)}">to</a>
<form id="form" method="post" action="{CFG.outside}/outside?from=form"><input name="animal" value="7"><button id="submit">post outside</button></form>
<form id="form-other" method="post" action="{CFG.other_site}/outside?from=form"><input name="animal" value="7"><button>post to another site</button></form>"""
    return page("links", body, LOADED_JS, app_nav=False, test=True)


def t_landed():
    return page("landed", "<h1>Landed</h1>", LOADED_JS, app_nav=False, test=True)


def t_paint(q):
    bg = q.get("bg", ["7B2D8E"])[0]
    if len(bg) != 6 or any(c not in "0123456789abcdefABCDEF" for c in bg):
        raise ValueError("bg must be six hex digits")
    hold = int(q.get("hold", ["0"])[0] or 0)
    # A slow image keeps the load from finishing while the page itself is already painted.
    img = (f'<img alt="" style="position:absolute;width:1px;height:1px;opacity:0" src="/t/slow?ms={hold}">'
           if hold > 0 else "")
    nxt = q.get("next", [""])[0]
    link = f'<a id="next" href="{esc(nxt)}" style="opacity:0">next</a>' if nxt else ""
    style = f"<style>html, body {{ background: #{bg} !important; min-height: 100%; }}</style>"
    theme = q.get("theme", [""])[0]
    if theme:
        style += f'<meta name="theme-color" content="{esc(theme)}">'
    script = f"window.LOAD_EXTRA = {{ bg: {js(bg)} }};" + LOADED_JS
    return page("paint", link + img, script, head_extra=style, app_nav=False, test=True)


def t_open(q):
    to = q.get("to", [f"{CFG.app}/t/landed?from=open"])[0]
    urls = {"in": f"{CFG.app}/t/landed?from=open", "out": f"{CFG.outside}/outside?from=open", "to": to}
    body = ('<button id="open-in">open in-app</button><button id="open-out">open outside</button>'
            '<button id="open-to">open ?to</button>')
    script = LOADED_JS + f"""
var U = {js(urls)};
function openIt(which) {{
  var w = null, err = null;
  try {{ w = window.open(U[which], Q.get("target") || "_blank"); }} catch (e) {{ err = String(e); }}
  R({{ event: "window-open", which: which, url: U[which], returned: w ? "window" : "null", error: err }});
}}
["in", "out", "to"].forEach(function (k) {{
  document.getElementById("open-" + k).addEventListener("click", function () {{ openIt(k); }});
}});
window.addEventListener("load", function () {{ if (Q.get("auto")) openIt(Q.get("auto")); }});
"""
    return page("open", body, script, app_nav=False, test=True)


def t_hop(q):
    # A chain of in-app navigations for the memory benchmark: ?n= hops left, ?pause= ms before the first.
    n = max(0, int(q.get("n", ["0"])[0]))
    body = f'<h1>Hop {n}</h1><p class="lead">Walks the app through its own pages.</p>'
    script = LOADED_JS + """
var n = +Q.get("n") || 0, pause = +(Q.get("pause") || 0), gap = +(Q.get("gap") || 50);
window.addEventListener("load", function () {
  if (n <= 0) { R({ event: "hops-done" }); return; }
  // After load, so the navigation adds a history entry instead of replacing this one.
  setTimeout(function () { location.href = "/t/hop?n=" + (n - 1) + "&gap=" + gap; }, pause || gap);
});
"""
    return page(f"hop {n}", body, script)


def t_nav(q):
    body = '<p>Navigating the main frame to <code id="to"></code></p><input id="note">'
    script = LOADED_JS + """
var to = Q.get("to") || "about:blank", how = Q.get("how") || "assign";
// ?once=1: a page brought back to this URL in the same tab does not navigate again.
var again = Q.get("once") && sessionStorage.getItem("navigated:" + location.href);
if (Q.get("once")) sessionStorage.setItem("navigated:" + location.href, "1");
document.getElementById("to").textContent = to;
window.addEventListener("load", function () {
  if (!again) setTimeout(function () {
    R({ event: "navigating", to: to, how: how });
    try {
      if (how === "replace") location.replace(to);
      else if (how === "link") { var a = document.createElement("a"); a.href = to; document.body.appendChild(a); a.click(); }
      else location.href = to;
    } catch (e) { R({ event: "nav-error", error: String(e) }); }
  }, +(Q.get("delay") || 300));
  setTimeout(function () {
    R({ event: "still-here", href: location.href, again: !!again, note: document.getElementById("note").value });
  }, +(Q.get("wait") || 2000));
});
window.addEventListener("pageshow", function (e) { if (e.persisted) R({ event: "restored" }); });
"""
    return page("nav", body, script, app_nav=False, test=True)


def data_frame_url(name):
    doc = ("<!doctype html><meta charset=utf-8><body>data frame<script>"
           "var b=JSON.stringify({event:'frame-loaded',name:" + json.dumps(name) + ",page:'data:',top:window===top});"
           "navigator.sendBeacon(" + json.dumps(CFG.app + "/report") + ",new Blob([b],{type:'text/plain'}));"
           "</script>")
    return "data:text/html;charset=utf-8," + quote(doc, safe="")


def t_frames(q):
    srcs = q.get("src") or [
        f"{CFG.outside}/t/frame?name=cross",
        f"{CFG.plain}/t/frame?name=http",
        f"{CFG.app}/t/frame?name=same",
        data_frame_url("data"),
    ]
    frames = "".join(f'<iframe data-i="{i}" src="{esc(s)}"></iframe>' for i, s in enumerate(srcs))
    script = f"window.LOAD_EXTRA = {{ frames: {len(srcs)} }};" + LOADED_JS + """
document.querySelectorAll("iframe").forEach(function (f) {
  f.addEventListener("load", function () { R({ event: "iframe-onload", i: +f.dataset.i, src: f.src.slice(0, 80) }); });
});
"""
    return page("frames", f"<p>frames</p>{frames}", script, app_nav=False, test=True)


def t_frame(q):
    name = q.get("name", ["frame"])[0]
    script = LOADED_JS + f"""
window.addEventListener("load", function () {{
  R({{ event: "frame-loaded", name: {js(name)}, top: window === window.top, realm: location.origin }});
}});
"""
    return page("frame", f"<p>frame {esc(name)} at <script>document.write(location.origin)</script></p>",
                script, app_nav=False, test=True)


def t_post(q):
    script = LOADED_JS + """
// ?expand=10,100000: the message is new Array(10).fill(new Array(100000)), one hole-filled array referenced
// ten times; ?times=N posts it N times.
function postNow() {
  var msg, ex = (Q.get("expand") || "").split(",");
  try { msg = Q.get("msg") ? JSON.parse(Q.get("msg")) : { type: Q.get("type") || "setBadge", n: +(Q.get("n") || 5) }; }
  catch (e) { msg = Q.get("msg"); }
  if (ex.length === 2) msg = new Array(+ex[0]).fill(new Array(+ex[1]));
  var via = Q.get("via") || "self", ok = false, err = null, t0 = Date.now();
  try {
    var w = via === "parent" ? window.parent : window;
    for (var i = +(Q.get("times") || 1); i > 0; i--) w.webkit.messageHandlers.cvDesktop.postMessage(msg);
    ok = true;
  } catch (e) { err = String(e); }
  R({ event: "posted", via: via, ok: ok, error: err, msg: ex.length === 2 ? Q.get("expand") : msg,
      top: window === window.top, realm: location.origin, ms: Date.now() - t0 });
  if (window !== window.top) window.parent.postMessage("posted", "*");
  if (Q.get("badge") !== null && window.cvDesktop) {
    window.cvDesktop.setBadge(+Q.get("badge"));
    R({ event: "setBadge", at: Date.now() });
  }
}
window.addEventListener("load", function () { setTimeout(postNow, +(Q.get("delay") || 0)); });
"""
    return page("post", '<p>posts a bridge message directly</p><button id="post" onclick="postNow()">post again</button>',
                script, app_nav=False, test=True)


def t_post_frame(q):
    where = q.get("frame", ["same"])[0]
    origin = CFG.outside if where == "cross" else CFG.app
    inner = {k: v[0] for k, v in q.items() if k not in ("frame", "badge")}
    src = f"{origin}/t/post" + ("?" + urlencode(inner) if inner else "")
    body = f'<p>frame posts from {esc(where)} origin</p><iframe id="f" src="{esc(src)}"></iframe>'
    # ?badge=N: once the frame has posted, the page sets its own badge.
    script = f"window.LOAD_EXTRA = {{ frame: {js(where)} }};" + LOADED_JS + """
window.addEventListener("message", function (e) {
  if (e.data !== "posted" || Q.get("badge") === null || !window.cvDesktop) return;
  window.cvDesktop.setBadge(+Q.get("badge"));
  R({ event: "setBadge", at: Date.now() });
});
"""
    return page("post-frame", body, script, app_nav=False, test=True)


def t_external(q):
    others = q.get("url") or [f"{CFG.outside}/outside?from=external"]
    urls = {"signin": f"{CFG.app}/api/auth/google-start", "other": others[0]}
    urls.update({f"other{i}": u for i, u in enumerate(others)})
    body = '<button id="signin">openExternal sign-in</button><button id="other">openExternal other</button>'
    script = LOADED_JS + f"""
var U = {js(urls)};
function ext(which) {{
  var d = window.cvDesktop;
  if (d) d.openExternal(U[which]);
  R({{ event: "openExternal", which: which, url: U[which], bridge: !!d }});
}}
["signin", "other"].forEach(function (k) {{
  document.getElementById(k).addEventListener("click", function () {{ ext(k); }});
}});
// ?auto=other0,other1,signin: one call each, in order.
window.addEventListener("load", function () {{ if (Q.get("auto")) Q.get("auto").split(",").forEach(ext); }});
"""
    return page("external", body, script, app_nav=False, test=True)


def t_probe(q):
    key = q.get("k", ["default"])[0]
    with _counter_lock:
        n = _load_counts[key] = _load_counts.get(key, 0) + 1
    script = f"window.LOAD_EXTRA = {{ load: {n}, k: {js(key)} }};" + LOADED_JS + """
var d = window.cvDesktop, subs = (Q.get("sub") || "menu,nav,auth").split(",");
if (d) {
  if (subs.indexOf("menu") >= 0) d.onMenuCommand(function (cmd) { R({ event: "menu", cmd: cmd }); });
  if (subs.indexOf("nav") >= 0) d.onNavigate(function (path) { R({ event: "navigate", path: path }); });
  if (subs.indexOf("auth") >= 0) d.onAuthCallback(function (url) { R({ event: "auth", url: url }); });
}
["beforeprint", "afterprint"].forEach(function (t) { window.addEventListener(t, function () { R({ event: t }); }); });
window.addEventListener("pagehide", function (e) { R({ event: "pagehide", persisted: e.persisted }); });
// Page zoom changes the CSS width of the viewport.
window.addEventListener("resize", function () { R({ event: "resize", width: window.innerWidth }); });
window.addEventListener("keydown", function (e) {
  R({ event: "key", key: e.key, ctrl: e.ctrlKey, shift: e.shiftKey, alt: e.altKey, meta: e.metaKey });
});
window.addEventListener("load", function () {
  if (!d) return;
  if (Q.get("badge") !== null) Q.get("badge").split(",").forEach(function (n, i) {
    setTimeout(function () { d.setBadge(n); R({ event: "setBadge", n: n }); }, i * +(Q.get("gap") || 300));
  });
  if (Q.get("notify") !== null) d.notify({ title: Q.get("notify"), body: Q.get("body"), tag: Q.get("tag"), url: Q.get("url") });
  if (Q.get("print")) setTimeout(function () { window.print(); }, +(Q.get("delay") || 0));
});
"""
    body = f'<h1>Probe</h1><p>load <b id="load">{n}</b> of <code>{esc(key)}</code></p>'
    return page("probe", body, script, app_nav=False, test=True)


def t_block(q):
    script = LOADED_JS + """
var ms = +(Q.get("ms") || 10000), on = Q.get("on") || "load";
function spin() { var end = Date.now() + ms; while (Date.now() < end) {} }
function block() {
  R({ event: "blocking", ms: ms });
  setTimeout(function () { spin(); R({ event: "unblocked" }); }, 50);
}
window.addEventListener("pagehide", function (e) {
  R({ event: "pagehide", persisted: e.persisted });
  if (on === "pagehide") spin();
});
if (on === "load") window.addEventListener("load", function () { setTimeout(block, +(Q.get("after") || 0)); });
if (on === "key") window.addEventListener("keydown", block);
if (on === "menu" && window.cvDesktop) window.cvDesktop.onMenuCommand(block);
document.getElementById("b").addEventListener("click", block);
"""
    return page("block", '<button id="b">block</button>', script, app_nav=False, test=True)


def t_download():
    body = ('<a id="zip" href="/t/file.zip">zip</a><a id="attach" href="/t/file.txt?attach=1">attachment</a>'
            '<a id="dl" href="/t/file.txt" download="notes.txt">download attribute</a>')
    return page("download", body, LOADED_JS, app_nav=False, test=True)


# What an "Export…" gives back: (content type, Content-Disposition, body) by kind.
def png_bytes():
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\x00" + b"\x2c\x4a\x3c" * 4 for _ in range(4))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 4, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def pdf_bytes():
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
            b"<< /Length 44 >>\nstream\nBT /F1 18 Tf 20 40 Td (Herd report) Tj ET\nendstream",
            b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"]
    out, offsets = b"%PDF-1.4\n", []
    for i, body in enumerate(objs, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (i, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    return out + b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)


EXPORTS = {
    "csv": ("text/csv; charset=utf-8", 'attachment; filename="herd.csv"', "id,name,paddock\n7,Bramble,North field\n"),
    "json": ("application/json", "Attachment; Filename=herd.json", '{"animals": [{"id": 7, "name": "Bramble"}]}\n'),
    "text": ("text/plain; charset=utf-8", 'attachment;filename="care notes.txt"', "Bramble: hoof trim due.\n"),
    "pdf": ("application/pdf", 'attachment; filename="herd report.pdf"', pdf_bytes),
    "png": ("image/png", 'attachment; filename="paddock.png"', png_bytes),
    # A name only the extended parameter spells right; the plain one is for old clients.
    "intl": ("text/csv; charset=utf-8",
             "attachment; filename=\"Kase.csv\"; filename*=UTF-8''K%C3%A4se%20%E2%82%AC%20Ma%CC%88rz.csv",
             "id,name\n12,Pip\n"),
    "inline": ("text/html; charset=utf-8", 'inline; filename="report.html"', None),
    # A name that tries to climb out of the folder the user chose.
    "climb": ("text/plain; charset=utf-8", 'attachment; filename="../../.profile"', "echo gotcha\n"),
}


def t_export(q):
    kind = q.get("kind", ["csv"])[0]
    if kind not in EXPORTS:
        raise ValueError("unknown export")
    ctype, disposition, body = EXPORTS[kind]
    if body is None:
        body = page("inline report", "<h1>Inline report</h1>", LOADED_JS, app_nav=False, test=True)
    return ctype, disposition, body() if callable(body) else body


def t_exports():
    # ?fill=ID makes one link the whole page, for a real click; a key press reports where the page is.
    links = "".join(f'<a id="{k}" href="/t/export?kind={k}">{k}</a>' for k in [*EXPORTS, "cut"])
    body = links + '<a id="dl" href="/t/file.txt" download="notes.txt">download attribute</a>'
    script = LOADED_JS + """
document.addEventListener("keydown", function (e) {
  R({ event: "key", key: e.key, href: location.href, title: document.title });
});
"""
    return page("exports", body, script, app_nav=False, test=True)


def t_dialog():
    script = LOADED_JS + """
function ask() {
  var kinds = (Q.get("kind") || "alert").split(","), k = kinds[asked++ % kinds.length], r;
  R({ event: "dialog-open", kind: k });
  var huge = Q.get("huge") ? "\\n" + Array(4001).join("Bramble, ") + Array(201).join("\\nline") : "";
  if (k === "confirm") r = confirm("Remove Bramble?" + huge);
  else if (k === "prompt") r = prompt("Name", "Bramble");
  else r = alert("Saved");
  R({ event: "dialog", kind: k, result: r === undefined ? null : r });
  if (--left > 0) setTimeout(ask, 0);
}
var left = +(Q.get("repeat") || 1), asked = 0;
document.getElementById("ask").addEventListener("click", ask);
var input = document.getElementById("file");
input.multiple = !!Q.get("multiple");
input.addEventListener("change", function () {
  R({ event: "files", names: Array.prototype.map.call(input.files, function (f) { return f.name; }) });
});
input.addEventListener("cancel", function () { R({ event: "files-cancelled" }); });
window.addEventListener("load", function () { if (Q.get("auto")) setTimeout(ask, 0); });
"""
    return page("dialog", '<button id="ask">ask</button><input type="file" id="file">', script,
                app_nav=False, test=True)


def t_media(q):
    name = q.get("name", ["main"])[0]
    frames = {"same": (CFG.app, ""), "cross": (CFG.outside, ""), "cross-allow": (CFG.outside, "camera; microphone")}
    wanted = q.get("frames", ["same,cross,cross-allow"])[0].split(",") if name == "main" else []
    body = "".join(f'<iframe src="{esc(frames[f][0])}/t/media?name={esc(f)}" allow="{esc(frames[f][1])}"></iframe>'
                   for f in wanted if f in frames)
    script = LOADED_JS + """
function done(result) { R({ event: "media", name: Q.get("name") || "main", top: window === top, result: result }); }
window.addEventListener("load", function () {
  if (!navigator.mediaDevices) return done("no-mediaDevices");
  navigator.mediaDevices.getUserMedia({ video: true }).then(function (stream) {
    stream.getTracks().forEach(function (t) { t.stop(); });
    done("granted");
  }, function (e) { done(e.name); });
});
"""
    return page("media", f"<p>camera from {esc(name)}</p>{body}", script, app_nav=False, test=True)


def zip_bytes():
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr("herd.csv", "id,name\n7,Bramble\n")
    return buf.getvalue()


# ---------------------------------------------------------------- HTTP

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "CorvaneDemo/1"
    timeout = 60

    def log_message(self, fmt, *args):
        if os.environ.get("CORVANE_DEMO_VERBOSE"):
            sys.stderr.write("%s:%d %s\n" % (self.server.scheme, self.server.port, fmt % args))

    def _log_request(self):
        rec = {"t": time.time(), "method": self.command, "port": self.server.port, "path": self.path}
        dest = self.headers.get("Sec-Fetch-Dest")
        if dest:
            rec["dest"] = dest
        if self.headers.get("Cookie"):
            rec["cookie"] = self.headers.get("Cookie")
        append_line(CFG.request_log, rec)

    def _cors(self):
        self.send_header("Access-Control-Allow-Origin", "*")
        self.send_header("Access-Control-Allow-Methods", "POST, GET, OPTIONS")
        self.send_header("Access-Control-Allow-Headers", "Content-Type")
        self.send_header("Access-Control-Max-Age", "600")

    def _send(self, code, body=b"", ctype="text/html; charset=utf-8", headers=(), cors=False, store=False):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(code)
        if body or ctype:
            self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        # no-store also keeps an https page out of the engine's back-forward cache.
        self.send_header("Cache-Control", "no-cache" if store else "no-store")
        for k, v in headers:
            self.send_header(k, v)
        if cors:
            self._cors()
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def _body(self):
        n = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(n) if n > 0 else b""

    def _origin_port(self):
        origin = self.headers.get("Origin") or ""
        if origin == "null":
            return None  # opaque origin: a data: or sandboxed document
        try:
            port = urlsplit(origin).port
        except ValueError:
            port = None
        return port or self.server.port

    def do_OPTIONS(self):
        self._log_request()
        self._send(204, b"", ctype=None, cors=True)

    def do_HEAD(self):
        self._log_request()
        self._get()

    def do_GET(self):
        self._log_request()
        self._get()

    def do_POST(self):
        self._log_request()
        url = urlsplit(self.path)
        data = self._body()
        if url.path == "/report":
            try:
                body = json.loads(data.decode("utf-8") or "null")
            except (ValueError, UnicodeDecodeError):
                self._send(400, "bad json", "text/plain", cors=True)
                return
            if not isinstance(body, dict):
                body = {"body": body}
            rec = {"t": time.time(), "origin": self._origin_port(),
                   "page": body.get("page") or urlsplit(self.headers.get("Referer") or "").path}
            rec.update({k: v for k, v in body.items() if k not in ("t", "origin", "page")})
            append_line(CFG.report_file, rec)
            self._send(204, b"", ctype=None, cors=True)
            return
        if url.path == "/outside":
            form = {k: v[0] for k, v in parse_qs(data.decode("utf-8", "replace")).items()}
            self._send(200, outside_page(url.query, "POST", form))
            return
        self._send(404, page("Not found", "<h1>Not found</h1>", LOADED_JS), cors=True)

    def _get(self):
        try:
            self._route()
        except ValueError as e:
            self._send(400, f"bad request: {e}", "text/plain; charset=utf-8")

    def _route(self):
        url = urlsplit(self.path)
        q = parse_qs(url.query, keep_blank_values=True)
        p = url.path
        simple = {
            "/": index_page, "/farm": farm_page, "/privacy": privacy_page, "/welcome": welcome_page,
            "/signin": signin_page, "/embed": embed_page, "/t/landed": t_landed, "/t/download": t_download,
            "/t/dialog": t_dialog, "/t/exports": t_exports,
        }
        with_q = {
            "/records": record_page, "/t/links": t_links, "/t/open": t_open,
            "/t/frames": t_frames, "/t/frame": t_frame, "/t/post": t_post, "/t/post-frame": t_post_frame,
            "/t/external": t_external, "/t/media": t_media, "/t/probe": t_probe, "/t/counter": t_probe, "/t/block": t_block,
            "/t/paint": t_paint, "/t/hop": t_hop,
        }
        if p in simple:
            self._send(200, simple[p]())
        elif p == "/t/nav":
            self._send(200, t_nav(q), store=q.get("keep") == ["1"])
        elif p in with_q:
            self._send(200, with_q[p](q))
        elif p == "/care":
            self._send(200, care_page(url.query))
        elif p == "/api/auth/google-start":
            self._send(200, google_start_page(url.query))
        elif p == "/outside":
            self._send(200, outside_page(url.query))
        elif p == "/t/cookie":
            # A signed-in session, as the service's sign-in leaves one; then the probe page.
            self._send(302, headers=[("Set-Cookie", "farm_session=hollow-brook; Path=/; Secure; HttpOnly"),
                                     ("Location", "/t/probe?k=cookie")], ctype=None)
        elif p == "/t/redirect":
            to = q.get("to", ["/t/landed?from=redirect"])[0]
            self._send(int(q.get("code", ["302"])[0]), b"", headers=[("Location", to)])
        elif p == "/t/status":
            code = int(q.get("code", ["500"])[0])
            self._send(code, page(f"status {code}", f"<h1>{code}</h1>",
                                  f"window.LOAD_EXTRA = {{ status: {code} }};" + LOADED_JS, app_nav=False, test=True))
        elif p == "/t/slow":
            time.sleep(min(float(q.get("ms", ["3000"])[0]), 60000) / 1000)
            self._send(200, t_landed())
        elif p == "/t/drop":
            # Closes without a word; ?how=reset closes with a reset.
            if q.get("how", [""])[0] == "reset":
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close_connection = True
        elif p == "/t/hang":
            # Accepts the request and never answers, until the client gives up.
            self.connection.settimeout(None)
            try:
                self.connection.recv(1)
            except (OSError, ssl.SSLError):
                pass
            self.close_connection = True
        elif p == "/t/export" and q.get("kind") == ["cut"]:
            # An export whose server goes away a few bytes in.
            self.send_response(200)
            self.send_header("Content-Type", "text/csv")
            self.send_header("Content-Disposition", 'attachment; filename="cut.csv"')
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"id,name\n7,Bra")
            self.wfile.flush()
            self.close_connection = True
        elif p == "/t/export":
            ctype, disposition, body = t_export(q)
            self._send(200, body, ctype, headers=[("Content-Disposition", disposition)])
        elif p == "/t/file.zip":
            self._send(200, zip_bytes(), "application/zip")
        elif p == "/t/file.txt":
            hdr = [("Content-Disposition", 'attachment; filename="herd-notes.txt"')] if q.get("attach") else []
            self._send(200, "Bramble: hoof trim due.\n", "text/plain; charset=utf-8", headers=hdr)
        elif p.startswith("/updates/") and CFG.updates_dir:
            name = os.path.basename(p)
            path = os.path.join(CFG.updates_dir, name)
            if name and name == p[len("/updates/"):] and os.path.isfile(path):
                with open(path, "rb") as f:
                    ctype = "application/rss+xml" if name.endswith(".xml") else "text/html; charset=utf-8" if name.endswith(".html") else "application/x-xz"
                    self._send(200, f.read(), ctype)
            else:
                self._send(404, b"", "text/plain")
        elif p == "/favicon.ico":
            self._send(204, b"", ctype=None)
        else:
            self._send(404, page("Not found", "<h1>Not found</h1>", LOADED_JS))


class Server(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, host, port, family, tls_context):
        self.address_family = family
        self.port = port
        self.tls_context = tls_context
        self.scheme = "https" if tls_context else "http"
        super().__init__((host, port), Handler)

    def server_bind(self):
        if self.address_family == socket.AF_INET6:
            self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
        super().server_bind()

    def finish_request(self, request, client_address):
        # The handshake runs in the connection's own thread, so one stalled client cannot block accept().
        if self.tls_context:
            request.settimeout(30)
            try:
                request = self.tls_context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, ssl.SSLError, TimeoutError, socket.timeout)):
            return
        super().handle_error(request, client_address)


def ipv6_loopback_available():
    if not socket.has_ipv6:
        return False
    try:
        with socket.socket(socket.AF_INET6, socket.SOCK_STREAM) as s:
            s.bind(("::1", 0))
        return True
    except OSError:
        return False


def main(argv=None):
    ap = argparse.ArgumentParser(description="Corvane loopback demo service")
    ap.add_argument("--cert-dir", required=True, help="holds cert.pem and key.pem (made with make-cert.sh if absent)")
    ap.add_argument("--app-port", type=int, default=CFG.app_port)
    ap.add_argument("--outside-port", type=int, default=CFG.outside_port)
    ap.add_argument("--untrusted-port", type=int, default=CFG.untrusted_port)
    ap.add_argument("--http-port", type=int, default=CFG.http_port)
    ap.add_argument("--report-file", help="one JSON line per page report")
    ap.add_argument("--request-log", help="one JSON line per request")
    ap.add_argument("--updates-dir", help="served at /updates/NAME: update feeds, archives, release notes")
    a = ap.parse_args(argv)
    CFG.app_port, CFG.outside_port, CFG.http_port = a.app_port, a.outside_port, a.http_port
    CFG.untrusted_port = a.untrusted_port
    CFG.report_file, CFG.request_log = a.report_file, a.request_log
    CFG.updates_dir = a.updates_dir

    cert, key = os.path.join(a.cert_dir, "cert.pem"), os.path.join(a.cert_dir, "key.pem")
    if not (os.path.exists(cert) and os.path.exists(key)):
        subprocess.run(["sh", os.path.join(HERE, "make-cert.sh"), a.cert_dir], check=True)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    # A certificate of its own that nothing trusts.
    untrusted_dir = os.path.join(a.cert_dir, "untrusted")
    subprocess.run(["sh", os.path.join(HERE, "make-cert.sh"), untrusted_dir], check=True)
    untrusted_ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    untrusted_ctx.load_cert_chain(os.path.join(untrusted_dir, "cert.pem"), os.path.join(untrusted_dir, "key.pem"))

    hosts = [("127.0.0.1", socket.AF_INET)]
    if ipv6_loopback_available():
        hosts.append(("::1", socket.AF_INET6))
    servers = []
    try:
        for port, tls in ((a.app_port, ctx), (a.outside_port, ctx), (a.untrusted_port, untrusted_ctx),
                          (a.http_port, None)):
            for host, family in hosts:
                # A service that is still going (a run that just ended) frees its ports within moments.
                deadline = time.monotonic() + 10
                while True:
                    try:
                        servers.append(Server(host, port, family, tls))
                        break
                    except OSError as e:
                        if e.errno == errno.EADDRINUSE and time.monotonic() < deadline:
                            time.sleep(0.1)
                            continue
                        if family == socket.AF_INET6:
                            break
                        raise SystemExit(f"demo_service: cannot listen on {host}:{port}: {e.strerror or e}")
    except SystemExit as e:
        for s in servers:
            s.server_close()
        print(e, file=sys.stderr)
        return 2

    for s in servers:
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    print(json.dumps({"ready": True, "app": CFG.app, "outside": CFG.outside, "other_site": CFG.other_site,
                      "untrusted": CFG.untrusted, "http": CFG.plain,
                      "listening": sorted({f"{s.server_address[0]}:{s.port}" for s in servers})}), flush=True)
    while not stop.wait(0.5):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
