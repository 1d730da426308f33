#!/usr/bin/python3
"""Cold start to first page load, and memory, of the app against a bare GTK4 + WebKitGTK window.

Runs both under one Xvfb and one private D-Bus session against the demo service, interleaved, the order
rotating each round; the first round is dropped. Start: just before spawning. Load: the demo service
receives the page's own load beacon. Memory: about 2 s after load, the resident pages of the whole process
tree (UI, web and network processes), each physical page counted once (needs root for /proc/PID/pagemap).

Usage: bench/startup_memory.py [--rounds N] [--app PATH] [--bare PATH]   (from the repository root)
"""
import argparse
import json
import os
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
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


def wait_for(path, predicate, timeout):
    end = time.monotonic() + timeout
    seen = 0
    while time.monotonic() < end:
        try:
            with open(path) as f:
                lines = f.readlines()
        except OSError:
            lines = []
        for line in lines[seen:]:
            if predicate(json.loads(line)):
                return True
        seen = len(lines)
        time.sleep(0.005)
    return False


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=7)
    ap.add_argument("--app", default=os.path.join(ROOT, "build/demo/shell/gtk/corvane"))
    ap.add_argument("--bare", default=os.path.join(ROOT, "build/demo/bench/corvane-bare-window"))
    args = ap.parse_args()
    cert = os.path.join(ROOT, "build/demo-cert/cert.pem")
    work = tempfile.mkdtemp(prefix="corvane-bench.")
    reports = os.path.join(work, "reports.jsonl")
    procs = []
    try:
        demo = subprocess.Popen(["/usr/bin/python3", os.path.join(ROOT, "packaging/demo/demo_service.py"),
                                 "--cert-dir", os.path.dirname(cert), "--report-file", reports,
                                 "--request-log", os.path.join(work, "requests.jsonl")],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        procs.append(demo)
        if '"ready": true' not in demo.stdout.readline():
            sys.exit("demo service did not start")
        xvfb = subprocess.Popen(["Xvfb", ":93", "-screen", "0", "1440x900x24"], stderr=subprocess.DEVNULL)
        procs.append(xvfb)
        bus = subprocess.Popen(["dbus-daemon", "--session", "--print-address", "--nofork"],
                               stdout=subprocess.PIPE, text=True)
        procs.append(bus)
        address = bus.stdout.readline().strip()
        time.sleep(0.5)
        programs = {
            "app": lambda: [args.app],
            "bare": lambda: [args.bare, f"https://localhost:47443{PAGE}", cert, "localhost"],
        }
        results = {name: [] for name in programs}
        for round_ in range(args.rounds):
            order = list(programs) if round_ % 2 == 0 else list(reversed(programs))
            for name in order:
                home = tempfile.mkdtemp(dir=work)
                env = dict(os.environ, DISPLAY=":93", DBUS_SESSION_BUS_ADDRESS=address, HOME=home,
                           XDG_CONFIG_HOME=f"{home}/.config", XDG_DATA_HOME=f"{home}/.local/share",
                           XDG_CACHE_HOME=f"{home}/.cache", GSK_RENDERER="cairo", GTK_A11Y="none",
                           GSETTINGS_BACKEND="memory", WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS="1")
                time.sleep(1.0)  # let the machine settle
                since = sum(1 for _ in open(reports)) if os.path.exists(reports) else 0
                count = [0]

                def loaded(r):
                    count[0] += 1
                    return count[0] > since and r.get("event") == "loaded" and r.get("page") == PAGE and r.get("top")
                t0 = time.monotonic()
                p = subprocess.Popen(programs[name](), env=env, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL, start_new_session=True)
                ok = wait_for(reports, loaded, 30)
                seconds = time.monotonic() - t0
                time.sleep(2.0)
                mib = unique_mib(p.pid) if ok else float("nan")
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
                if round_ > 0 and ok:
                    results[name].append((seconds, mib))
                print(f"round {round_} {name:4s} load {seconds:.3f}s  memory {mib:.0f} MiB"
                      + ("" if ok else "  (no load)") + (" (warm-up, dropped)" if round_ == 0 else ""))
        ratios_t = [a[0] / b[0] for a, b in zip(results["app"], results["bare"])]
        ratios_m = [a[1] / b[1] for a, b in zip(results["app"], results["bare"])]
        for name, rows in results.items():
            print(f"{name}: median load {statistics.median(r[0] for r in rows):.3f}s, "
                  f"median memory {statistics.median(r[1] for r in rows):.0f} MiB")
        print(f"app/bare per round: load {', '.join(f'{r:.2f}' for r in ratios_t)} (median "
              f"{statistics.median(ratios_t):.2f}); memory {', '.join(f'{r:.2f}' for r in ratios_m)} "
              f"(median {statistics.median(ratios_m):.2f})")
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
