"""Raw screenshots of the test display, for checks on exact pixel colours."""

import os
import subprocess
import time

import harness as h

GROUND = "E3E5DF"  # the window's ground colour (light appearance)


class Shot:
    """The whole display as packed RGB bytes, taken at time t (monotonic)."""

    def __init__(self, data, width, height, t):
        self.data, self.width, self.height, self.t = data, width, height, t

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i:i + 3].hex().upper()

    def row_is(self, y, colour, x0=0, x1=None):
        """Every pixel of row y from x0 up to x1 (exclusive) has colour."""
        x1 = self.width if x1 is None else x1
        i = y * self.width * 3
        return self.data[i + x0 * 3:i + x1 * 3] == bytes.fromhex(colour) * (x1 - x0)

    def off_pixels(self, colour, rect, skip=()):
        """Rows of rect (x, y, w, h) holding a pixel of another colour, leaving out the rects in skip."""
        x, y, w, h = rect
        bad = []
        for row in range(y, y + h):
            spans = [(x, x + w)]
            for sx, sy, sw, sh in skip:
                if sy <= row < sy + sh:
                    spans = [p for a, b in spans for p in ((a, min(b, sx)), (max(a, sx + sw), b)) if p[0] < p[1]]
            if not all(self.row_is(row, colour, a, b) for a, b in spans):
                bad.append(row)
        return bad


def content_rect(shot, colour, window, max_frame=5):
    """(x, y, w, h) of the part of window (a geometry dict) inside its decoration frame, found as the
    first pixel of colour inward from each edge along the window's middle lines."""
    x0, y0, w, hgt = window["X"], window["Y"], window["WIDTH"], window["HEIGHT"]
    mx, my = x0 + w // 2, y0 + hgt // 2

    def inset(points):
        for i, (x, y) in enumerate(points[:max_frame + 1]):
            if shot.at(x, y) == colour:
                return i
        raise AssertionError(f"no {colour} within {max_frame} px of the window edge at {points[0]}; "
                             f"saw {[shot.at(x, y) for x, y in points[:max_frame + 1]]}")
    left = inset([(x0 + i, my) for i in range(w)])
    right = inset([(x0 + w - 1 - i, my) for i in range(w)])
    top = inset([(mx, y0 + i) for i in range(hgt)])
    bottom = inset([(mx, y0 + hgt - 1 - i) for i in range(hgt)])
    return x0 + left, y0 + top, w - left - right, hgt - top - bottom


def grab():
    s = h.session()
    path = os.path.join(s.tmp, "shot.rgb")
    t = time.monotonic()
    subprocess.run(["import", "-display", s.display, "-window", "root", "-depth", "8", "rgb:" + path],
                   check=True, env=s.base_env(), timeout=30, capture_output=True)
    w, hgt = (int(v) for v in h.SCREEN.split("x")[:2])
    with open(path, "rb") as f:
        data = f.read()
    if len(data) != w * hgt * 3:
        raise h.HarnessError(f"screenshot is {len(data)} bytes, not {w}x{hgt} RGB")
    return Shot(data, w, hgt, t)


def wait_for(predicate, timeout=10, interval=0.05):
    """The first screenshot for which predicate(shot) holds; AssertionError (naming the last one) on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        shot = grab()
        if predicate(shot):
            return shot
        if time.monotonic() >= deadline:
            centre = shot.at(shot.width // 2, shot.height // 2)
            raise AssertionError(f"screen never matched within {timeout}s; centre was {centre}")
        time.sleep(interval)
