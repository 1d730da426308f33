"""Raw screenshots of the test display, for checks on exact pixel colours."""

import os
import shutil
import subprocess
import tempfile
import time

import gi
import harness as h

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf  # noqa: E402

GROUND = "E3E5DF"  # the window's ground colour (light appearance)
ICON = "325243"  # the app icon's ground
STRIP = 28  # the window's top strip, in pixels


class Shot:
    """The whole display as packed RGB bytes, taken at time t (monotonic)."""

    def __init__(self, data, t):
        self.data, self.t = data, t
        self.width, self.height = h.SCREEN

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.data[i:i + 3].hex().upper()

    def row_is(self, y, colour, x0, x1):
        i = y * self.width * 3
        return self.data[i + x0 * 3:i + x1 * 3] == bytes.fromhex(colour) * (x1 - x0)

    def count(self, colour, rect):
        x, y, w, hgt = rect
        want = bytes.fromhex(colour)
        return sum(self.data[i:i + 3] == want for row in range(y, y + hgt)
                   for i in range((row * self.width + x) * 3, (row * self.width + x + w) * 3, 3))

    def bounds(self, colour, rect, same=True):
        """(x, y, w, h) around the pixels of rect that are (or with same False, are not) colour; None if none."""
        x, y, w, hgt = rect
        want = bytes.fromhex(colour)
        xs, ys = [], []
        for r in range(y, y + hgt):
            row = self.data[(r * self.width + x) * 3:(r * self.width + x + w) * 3]
            if hits := [i // 3 for i in range(0, len(row), 3) if (row[i:i + 3] == want) == same]:
                xs += [x + hits[0], x + hits[-1]]
                ys.append(r)
        return (min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1) if ys else None

    def off_pixels(self, colour, rect, skip=()):
        """Rows of rect (x, y, w, h) holding a pixel of another colour, leaving out the rects in skip."""
        x, y, w, hgt = rect
        bad = []
        for row in range(y, y + hgt):
            spans = [(x, x + w)]
            for sx, sy, sw, sh in skip:
                if sy <= row < sy + sh:
                    spans = [p for a, b in spans for p in ((a, min(b, sx)), (max(a, sx + sw), b)) if p[0] < p[1]]
            if not all(self.row_is(row, colour, a, b) for a, b in spans):
                bad.append(row)
        return bad


def content_rect(shot, colour, window, max_frame=5):
    """(x, y, w, h) of window (a geometry dict) inside its decoration frame: the first pixel of colour
    inward from each edge along the window's middle lines."""
    x0, y0, w, hgt = window["X"], window["Y"], window["WIDTH"], window["HEIGHT"]
    mx, my = x0 + w // 2, y0 + hgt // 2

    def inset(step):
        for i in range(max_frame + 1):
            if shot.at(*step(i)) == colour:
                return i
        raise AssertionError(f"no {colour} within {max_frame} px of the window edge at {step(0)}")
    left, right = inset(lambda i: (x0 + i, my)), inset(lambda i: (x0 + w - 1 - i, my))
    top, bottom = inset(lambda i: (mx, y0 + i)), inset(lambda i: (mx, y0 + hgt - 1 - i))
    return x0 + left, y0 + top, w - left - right, hgt - top - bottom


def grab():
    if h.session().wayland:
        return _grab_weston()
    path, t = f"{h.session().tmp}/shot.rgb", time.monotonic()
    h.run("import", "-window", "root", "-depth", "8", f"rgb:{path}")
    with open(path, "rb") as f:
        return Shot(f.read(), t)


def _grab_weston():
    # The screenshooter names its file by the second: one directory per shot.
    where, t = tempfile.mkdtemp(dir=h.session().tmp), time.monotonic()
    subprocess.run(["weston-screenshooter"], env=h.session().env, cwd=where, timeout=30, check=True,
                   capture_output=True)
    (name,) = os.listdir(where)
    shot = GdkPixbuf.Pixbuf.new_from_file(os.path.join(where, name))
    shutil.rmtree(where)
    assert (shot.get_width(), shot.get_height(), shot.get_rowstride()) == (h.SCREEN[0], h.SCREEN[1], h.SCREEN[0] * 3)
    return Shot(shot.get_pixels(), t)


def wait_for(predicate, timeout=10):
    """The first screenshot for which predicate holds."""
    return h.expect(lambda: (lambda shot: predicate(shot) and shot)(grab()), "matching screen", timeout)
