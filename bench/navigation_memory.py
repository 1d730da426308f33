#!/usr/bin/python3
"""Memory over a day's use: the UI, web and network processes after the first load and after N in-app
navigations.

Starts the app the way the end-to-end tests do (tests/e2e/harness.py: private D-Bus session, Xvfb, the demo
service, a fresh HOME) on the demo's /t/hop page, which waits, then walks itself through N further pages of
the app. Memory is the resident pages of each process, each physical page counted once (needs root for
/proc/PID/pagemap), taken about 2 s after the first load and after the last navigation. Also the CPU time
each process used between those two points.

Usage: bench/navigation_memory.py [--navigations N] [--env NAME=VALUE ...]   (from the repository root)
Run it inside a private network namespace, as the end-to-end tests are (the demo's ports are fixed):
  unshare --net -- bash -c 'ip link set lo up && exec bench/navigation_memory.py'
"""
import argparse
import os
import sys
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(os.path.dirname(BENCH), "tests", "e2e"), BENCH]

import harness  # noqa: E402
from startup_memory import children, resident_frames  # noqa: E402

ROLES = (("ui", None), ("web", "WebKitWebProces"), ("network", "WebKitNetworkP"))


def role_of(pid, root):
    if pid == root:
        return "ui"
    try:
        with open(f"/proc/{pid}/comm") as f:
            comm = f.read().strip()
    except OSError:
        return None
    return next((role for role, prefix in ROLES if prefix and comm.startswith(prefix)), None)


def measure(root):
    """MiB per role, and for the whole tree, each physical page counted once."""
    frames = {role: set() for role, _ in ROLES}
    for pid in children(root):
        role = role_of(pid, root)
        if role:
            frames[role] |= resident_frames(pid)
    out = {role: len(f) * 4096 / 2**20 for role, f in frames.items()}
    out["all"] = len(set().union(*frames.values())) * 4096 / 2**20
    return out


def cpu(root):
    """CPU seconds per role so far."""
    out = {role: 0.0 for role, _ in ROLES}
    for pid in children(root):
        role = role_of(pid, root)
        if role:
            out[role] += own_cpu_seconds(pid)
    out["all"] = sum(out.values())
    return out


def own_cpu_seconds(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, ValueError, IndexError):
        return 0.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--navigations", type=int, default=200)
    ap.add_argument("--gap", type=int, default=50, help="ms a page waits after its load before moving on")
    ap.add_argument("--env", action="append", default=[], help="NAME=VALUE for the app's environment")
    args = ap.parse_args()
    extra = dict(e.split("=", 1) for e in args.env)

    harness.start_session()
    try:
        path = f"/t/hop?n={args.navigations}&pause=6000&gap={args.gap}"
        t0 = time.monotonic()
        app = harness.launch_app(path, env=extra)
        harness.wait_for_report(event="loaded", page=path, top=True, timeout=60)
        time.sleep(2.0)
        first = measure(app.pid)
        cpu_first = cpu(app.pid)
        harness.wait_for_report(event="hops-done", timeout=60 + args.navigations * 3)
        seconds = time.monotonic() - t0
        time.sleep(2.0)
        last = measure(app.pid)
        cpu_last = cpu(app.pid)
        loads = len(harness.reports(event="loaded", top=True))
        if not app.alive():
            sys.exit("the app died during the run")
    finally:
        harness.stop_session()

    print(f"{loads - 1} navigations after the first load in {seconds:.0f} s (machine load {os.getloadavg()[0]:.1f})")
    print(f"{'process':8s} {'first load':>11s} {'after':>11s} {'ratio':>6s} {'CPU between':>12s}")
    for role in ("ui", "web", "network", "all"):
        a, b = first[role], last[role]
        print(f"{role:8s} {a:8.0f} MiB {b:8.0f} MiB {b / a if a else float('nan'):6.2f} "
              f"{cpu_last[role] - cpu_first[role]:10.1f} s")


if __name__ == "__main__":
    main()
