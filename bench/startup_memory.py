#!/usr/bin/python3
"""Cold start to first page load, and memory, of the app against a bare GTK4 + WebKitGTK window.

The whole run happens in a private network namespace (re-entered with unshare), with its own Xvfb and
D-Bus session. A loopback HTTPS server on the app's port serves /farm: a 20 KB page with one external
script and one style sheet, whose load handler sends a beacon the server timestamps. Launches alternate,
the order rotating each round; one warm-up round is dropped. Each launch gets a fresh HOME, either copied
from a profile primed by one earlier launch of the same program ("primed") or empty ("first"). Start: just
before spawning. Also reported: when the page's first GET arrived. Memory: about 2 s after load, the
resident pages of the whole process tree (UI, web and network processes), each physical page counted once
(needs root for /proc/PID/pagemap). The figures are medians of the per-round ratios app/bare.

The server answers as Python's http.server does: headers and body in two writes, with Nagle's algorithm on.
A client that delays its ACK of the headers (Linux does, for about 40 ms, when the request went out less
than 40 ms after the last bytes it received, here the TLS session tickets) then gets the body that much
later. Whether a launch meets this depends on when the engine's preconnect finished relative to the GET,
so it lands on some launches of either program. "GET→css" shows it: about 20 ms when the page came at
once, 60 ms and more when it was held. --server-nodelay sets TCP_NODELAY on the server's sockets, as
production web servers do, and so measures the programs without it.

Usage: bench/startup_memory.py [--rounds N | --full] [--profiles primed,first] [--app PATH] [--bare PATH]
       [--app-env NAME=VALUE ...] [--server-nodelay]
(from the repository root, as root)
"""
import argparse
import http.server
import os
import shutil
import signal
import socket
import ssl
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PAGE = "/farm"


def children(pid):
    tree, frontier = {pid}, [pid]
    while frontier:
        parent = frontier.pop()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat") as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, ValueError, IndexError):
                continue
            if ppid == parent and int(entry) not in tree:
                tree.add(int(entry))
                frontier.append(int(entry))
    return tree


def resident_frames(pid):
    frames = set()
    try:
        smaps = open(f"/proc/{pid}/smaps").read().split("\n")
        pagemap = open(f"/proc/{pid}/pagemap", "rb")
    except OSError:
        return frames
    ranges, current = [], None
    for line in smaps:
        head = line.split(" ", 1)[0]
        if "-" in head and all(c in "0123456789abcdef-" for c in head):
            start, end = (int(x, 16) for x in head.split("-"))
            current = (start, end)
        elif line.startswith("Rss:") and current and int(line.split()[1]) > 0:
            ranges.append(current)
    with pagemap:
        for start, end in ranges:
            pagemap.seek(start // 4096 * 8)
            data = pagemap.read((end - start) // 4096 * 8)
            for (entry,) in struct.iter_unpack("<Q", data):
                if entry >> 63 & 1:
                    frames.add(entry & ((1 << 55) - 1))
    return frames


def unique_mib(pid):
    frames = set()
    for p in children(pid):
        frames |= resident_frames(p)
    return len(frames) * 4096 / 2**20


PORT = 47443
STYLE = "main { display:grid; grid-template-columns:repeat(auto-fit, minmax(240px, 1fr)); gap:12px; }\n" \
        ".card { border:1px solid #ccc; border-radius:10px; padding:12px; font:15px/1.5 sans-serif; }\n"
SCRIPT = """window.addEventListener("load", function () {
  navigator.sendBeacon("/report", new Blob(["loaded"], { type: "text/plain" }));
});
document.documentElement.dataset.ready = "1";
"""


def farm_page():
    head = ('<!doctype html><html lang="en"><head><meta charset="utf-8"><title>Farm</title>'
            '<link rel="stylesheet" href="/farm.css"><script src="/farm.js"></script></head><body><h1>Farm</h1><main>')
    cards, i = [], 0
    while len(head) + sum(map(len, cards)) < 20 * 1024 - 200:
        i += 1
        cards.append(f'<section class="card"><h2>Paddock {i}</h2><p>Herd {i}: grazing, water checked, fences walked '
                     f'this morning; next rotation in {i % 7 + 1} days.</p></section>')
    return (head + "".join(cards) + "</main></body></html>").encode()


class Farm(http.server.ThreadingHTTPServer):
    """Timestamps (monotonic) of the first GET of /farm and of the load beacon, per launch."""
    daemon_threads = True

    nodelay = False

    def expect(self):
        self.got, self.style_at, self.loaded = None, None, threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    PAGE = farm_page()

    def log_message(self, *_):
        pass

    def setup(self):
        if self.server.nodelay:
            self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        super().setup()

    def do_GET(self):
        now = time.monotonic()
        body, ctype = {"/farm": (self.PAGE, "text/html; charset=utf-8"), "/farm.css": (STYLE.encode(), "text/css"),
                       "/farm.js": (SCRIPT.encode(), "text/javascript")}.get(self.path, (b"", "text/plain"))
        if self.path == PAGE and self.server.got is None:
            self.server.got = now
        if self.path == "/farm.css" and self.server.style_at is None:
            self.server.style_at = now
        self.send_response(200 if body else 404)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        now = time.monotonic()
        self.rfile.read(int(self.headers.get("Content-Length") or 0))
        self.send_response(204)
        self.send_header("Content-Length", "0")
        self.end_headers()
        if self.path == "/report" and not self.server.loaded.is_set():
            self.server.load_at = now
            self.server.loaded.set()


def serve(cert_dir, nodelay=False):
    server = Farm(("127.0.0.1", PORT), Handler)
    server.nodelay = nodelay
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(cert_dir, "cert.pem"), os.path.join(cert_dir, "key.pem"))
    server.socket = ctx.wrap_socket(server.socket, server_side=True)
    server.expect()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def first_line(cmd, **kw):
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, **kw)
    return proc, proc.stdout.readline().strip()


def cpu_seconds(pid):
    """User and system time the process tree has used so far: unlike wall-clock time, it hardly moves with
    what else the machine is doing."""
    ticks = 0
    for p in children(pid):
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks += int(fields[11]) + int(fields[12])
        except (OSError, ValueError, IndexError):
            pass
    return ticks / os.sysconf("SC_CLK_TCK")


def launch(server, cmd, env, home):
    """(start → first GET, start → load, MiB, CPU seconds to load, GET → style sheet) of one launch; None on no
    load within 30 s."""
    server.expect()
    env = dict(env, HOME=home, XDG_CONFIG_HOME=f"{home}/.config", XDG_DATA_HOME=f"{home}/.local/share",
               XDG_CACHE_HOME=f"{home}/.cache")
    t0 = time.monotonic()
    p = subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    ok = server.loaded.wait(30)
    if ok:
        cpu = cpu_seconds(p.pid)
        time.sleep(2.0)
        mib = unique_mib(p.pid)
    os.killpg(p.pid, signal.SIGKILL)
    p.wait()
    style = (server.style_at - server.got) if server.style_at and server.got else float("nan")
    return (server.got - t0, server.load_at - t0, mib, cpu, style) if ok else None


def summary(results, what):
    ratios = [a[1] / b[1] for a, b in zip(results["app"], results["bare"]) if a and b]
    mem = [a[2] / b[2] for a, b in zip(results["app"], results["bare"]) if a and b]
    if not ratios:
        return print(f"{what}: no complete rounds")
    for name, rows in results.items():
        rows = [r for r in rows if r]
        print(f"{what} {name:4s}: median start→GET {statistics.median(r[0] for r in rows):.3f}s, start→load "
              f"{statistics.median(r[1] for r in rows):.3f}s, GET→load {statistics.median(r[1] - r[0] for r in rows):.3f}s, "
              f"memory {statistics.median(r[2] for r in rows):.0f} MiB, CPU to load {statistics.median(r[3] for r in rows):.2f}s, "
              f"GET→css over 45 ms in {sum(r[4] > 0.045 for r in rows)} of {len(rows)}")
    print(f"{what} app/bare load per round: {', '.join(f'{r:.2f}' for r in ratios)}; median {statistics.median(ratios):.2f}")
    print(f"{what} app/bare memory per round: {', '.join(f'{r:.2f}' for r in mem)}; median {statistics.median(mem):.2f}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=7, help="rounds after the warm-up")
    ap.add_argument("--full", action="store_true", help="25 rounds, as the issue's measurement")
    ap.add_argument("--profiles", default="primed,first")
    ap.add_argument("--app-env", action="append", default=[], help="NAME=VALUE for the app's environment only")
    ap.add_argument("--app", default=os.path.join(ROOT, "build/demo/shell/gtk/corvane"))
    ap.add_argument("--bare", default=os.path.join(ROOT, "build/demo/bench/corvane-bare-window"))
    ap.add_argument("--server-nodelay", action="store_true", help="TCP_NODELAY on the server's sockets")
    args = ap.parse_args()
    if not os.environ.get("CORVANE_BENCH_NETNS"):
        # Fixed loopback port: the run gets a network of its own.
        os.environ["CORVANE_BENCH_NETNS"] = "1"
        os.execvp("unshare", ["unshare", "--net", "--", "sh", "-c", 'ip link set lo up && exec "$@"', "sh",
                              sys.executable, os.path.abspath(__file__), *sys.argv[1:]])
    rounds = 25 if args.full else args.rounds
    cert_dir = os.path.join(ROOT, "build/demo-cert")
    url = f"https://localhost:{PORT}{PAGE}"
    work = tempfile.mkdtemp(prefix="corvane-bench.")
    procs = []
    try:
        server = serve(cert_dir, args.server_nodelay)
        r, w = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1440x900x24", "-nolisten", "tcp"],
                                pass_fds=(w,), stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        os.close(w)
        with os.fdopen(r) as f:
            display = ":" + f.readline().strip()
        bus, address = first_line(["dbus-daemon", "--session", "--print-address", "--nofork"])
        procs.append(bus)
        base = {k: v for k, v in os.environ.items() if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "GTK_", "GDK_",
                                                                             "GSK_", "WEBKIT_", "DISPLAY"))}
        env = dict(base, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address, GDK_BACKEND="x11", GSK_RENDERER="cairo",
                   GTK_A11Y="none", GSETTINGS_BACKEND="memory", WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
        programs = {"app": ["env", *args.app_env, args.app],
                    "bare": [args.bare, url, os.path.join(cert_dir, "cert.pem"), "localhost"]}
        primed = {}
        for name, cmd in programs.items():
            primed[name] = os.path.join(work, f"primed-{name}")
            os.makedirs(primed[name])
            launch(server, cmd, env, primed[name])
        for profile in args.profiles.split(","):
            results = {name: [] for name in programs}
            for round_ in range(rounds + 1):
                names = list(programs)
                order = names[round_ % len(names):] + names[:round_ % len(names)]
                for name in order:
                    home = os.path.join(work, f"{profile}-{round_}-{name}")
                    if profile == "primed":
                        shutil.copytree(primed[name], home, symlinks=True)
                    else:
                        os.makedirs(home)
                    time.sleep(1.0)  # let the machine settle
                    got = launch(server, programs[name], env, home)
                    shutil.rmtree(home, ignore_errors=True)
                    if round_ > 0:
                        results[name].append(got)
                    print(f"{profile} round {round_} {name:4s} " + (f"GET {got[0]:.3f}s load {got[1]:.3f}s memory "
                          f"{got[2]:.0f} MiB CPU {got[3]:.2f}s GET→css {got[4] * 1000:.0f} ms" if got else "(no load)") + (" (warm-up, dropped)" if round_ == 0 else ""),
                          flush=True)
            summary(results, profile)
        print(f"load average at the end: {os.getloadavg()[0]:.1f} (timings move with it)")
    finally:
        for p in reversed(procs):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
