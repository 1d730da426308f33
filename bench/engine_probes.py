#!/usr/bin/python3
"""GTK's and the engine's own start-up costs, under the GPU switches a program could set on a machine
without a GPU, and whether a page then still gets the desktop's dark style.

Runs bench/engine_probes.cpp (one process: GTK start, engine context, view, web process launch, one
page) in turns under each set of switches, with its own Xvfb and D-Bus session, and prints the medians.
"UI" is the time the process spends before its event loop can turn (start to web process launched);
"page" runs from process start until the page has told its colour scheme. The desktop turns dark after
the view exists, so "style" should read dark.

Usage: bench/engine_probes.py [--rounds N] [--probe PATH]   (from the repository root)
"""
import argparse
import os
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
from startup_memory import first_line  # noqa: E402

GL_OFF = {"GDK_DEBUG": "gl-disable", "GDK_DISABLE": "gl"}  # GTK before and since 4.16
VARIANTS = [
    ("engine and GTK as they are", {}),
    ("GTK's OpenGL off", GL_OFF),
    ("... and compositing off", dict(GL_OFF, WEBKIT_DISABLE_COMPOSITING_MODE="1")),
    ("... and buffer sharing off, render node named",
     dict(GL_OFF, WEBKIT_DISABLE_COMPOSITING_MODE="1", WEBKIT_DISABLE_DMABUF_RENDERER="1",
          WEBKIT_WEB_RENDER_DEVICE_FILE="/dev/null")),
]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=10)
    ap.add_argument("--probe", default=os.path.join(ROOT, "build/demo/bench/corvane-engine-probes"))
    args = ap.parse_args()
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1440x900x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stderr=subprocess.DEVNULL)
    os.close(w)
    with os.fdopen(r) as f:
        display = ":" + f.readline().strip()
    bus, address = first_line(["dbus-daemon", "--session", "--print-address", "--nofork"])
    base = {k: v for k, v in os.environ.items()
            if not k.startswith(("DBUS_", "XDG_", "WAYLAND_", "GTK_", "GDK_", "GSK_", "WEBKIT_", "DISPLAY"))}
    env = dict(base, DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address, GDK_BACKEND="x11", GSK_RENDERER="cairo",
               GTK_A11Y="none", GSETTINGS_BACKEND="memory", WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
    results = {name: [] for name, _ in VARIANTS}
    try:
        for round_ in range(args.rounds + 1):
            for name, switches in VARIANTS[round_ % len(VARIANTS):] + VARIANTS[:round_ % len(VARIANTS)]:
                out = subprocess.run([args.probe], env=dict(env, **switches), capture_output=True, text=True,
                                     timeout=60).stdout.split()
                if round_ > 0 and len(out) == 12:  # the first round warms the caches and is dropped
                    results[name].append(dict(zip(out[::2], out[1::2])))
    finally:
        bus.terminate()
        xvfb.terminate()
    print(f"medians of {args.rounds} runs, ms: gtk_init, engine context, view, web process launch, UI (their sum),"
          " page; the page's colour scheme")
    for name, runs in results.items():
        if not runs:
            print(f"{name:48s} no run finished")
            continue
        m = {k: statistics.median(float(r[k]) for r in runs) for k in ("gtk_init", "context", "view", "launch", "page")}
        ui = statistics.median(sum(float(r[k]) for k in ("gtk_init", "context", "view", "launch")) for r in runs)
        styles = {s: sum(r["style"] == s for r in runs) for s in ("dark", "light", "none")}
        print(f"{name:48s} {m['gtk_init']:5.0f} {m['context']:5.0f} {m['view']:5.0f} {m['launch']:5.0f} "
              f"UI {ui:5.0f}  page {m['page']:5.0f}  " + ", ".join(f"{s} {n}" for s, n in styles.items() if n))


if __name__ == "__main__":
    main()
