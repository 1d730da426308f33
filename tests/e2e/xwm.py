"""Just enough of a window manager for tests under a bare Xvfb, which has none: full-screen state changes
answered as an EWMH window manager would, and the close request one sends."""

import ctypes
import ctypes.util
import threading
import time

_ClientMessage, _XA_ATOM, _SubstructureNotifyMask = 33, 4, 1 << 19
_vp, _ul, _int = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
_X = ctypes.CDLL(ctypes.util.find_library("X11"))
for _name, _res, *_args in [
        ("XOpenDisplay", _vp, ctypes.c_char_p), ("XCloseDisplay", _int, _vp), ("XDefaultRootWindow", _ul, _vp),
        ("XDisplayWidth", _int, _vp, _int), ("XDisplayHeight", _int, _vp, _int),
        ("XInternAtom", _ul, _vp, ctypes.c_char_p, _int), ("XSelectInput", _int, _vp, _ul, ctypes.c_long),
        ("XPending", _int, _vp), ("XNextEvent", _int, _vp, _vp), ("XFlush", _int, _vp), ("XFree", _int, _vp),
        ("XSendEvent", _int, _vp, _ul, _int, ctypes.c_long, _vp),
        ("XChangeProperty", _int, _vp, _ul, _ul, _ul, _int, _int, _vp, _int),
        ("XGetWindowProperty", _int, _vp, _ul, _ul, ctypes.c_long, ctypes.c_long, _int, _ul, _vp, _vp, _vp, _vp, _vp),
        ("XMoveResizeWindow", _int, _vp, _ul, _int, _int, ctypes.c_uint, ctypes.c_uint),
        ("XSetErrorHandler", _vp, _vp)]:
    getattr(_X, _name).restype, getattr(_X, _name).argtypes = _res, _args
# A window gone between an event and the answer to it is no reason to die.
_IGNORE_ERRORS = ctypes.CFUNCTYPE(_int, _vp, _vp)(lambda d, e: 0)
_X.XSetErrorHandler(ctypes.cast(_IGNORE_ERRORS, _vp))

# An XEvent as longs; a ClientMessage has [0] type, [4] window, [5] message type, [6] format, [7:12] data.
_Event = ctypes.c_long * 24


def send_close_request(display, wid):
    """WM_DELETE_WINDOW, as a window manager sends when the user closes a window."""
    dpy = _X.XOpenDisplay(display.encode())
    ev = _Event(_ClientMessage, 0, 0, 0, wid, _X.XInternAtom(dpy, b"WM_PROTOCOLS", 0), 32,
                _X.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0))
    _X.XSendEvent(dpy, wid, 0, 0, ev)
    _X.XCloseDisplay(dpy)


class FullScreenManager:
    def __init__(self, display):
        self._dpy = _X.XOpenDisplay(display.encode())
        self._state = _X.XInternAtom(self._dpy, b"_NET_WM_STATE", 0)
        self._fs = _X.XInternAtom(self._dpy, b"_NET_WM_STATE_FULLSCREEN", 0)
        self.screen = (_X.XDisplayWidth(self._dpy, 0), _X.XDisplayHeight(self._dpy, 0))
        self._lock, self._stop = threading.Lock(), threading.Event()
        _X.XSelectInput(self._dpy, _X.XDefaultRootWindow(self._dpy), _SubstructureNotifyMask)
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(3)
        _X.XCloseDisplay(self._dpy)

    def set_full_screen(self, wid, on):
        """As a desktop shortcut would."""
        with self._lock:
            self._apply(wid, on)
            _X.XFlush(self._dpy)

    def _run(self):
        ev = _Event()
        while not self._stop.is_set():
            with self._lock:
                while _X.XPending(self._dpy):
                    _X.XNextEvent(self._dpy, ev)
                    if ev[0] & 0xFFFFFFFF == _ClientMessage and ev[5] == self._state and self._fs in ev[8:10]:
                        self._apply(ev[4], {0: False, 1: True}.get(ev[7], self._fs not in self._atoms(ev[4])))
                _X.XFlush(self._dpy)
            time.sleep(0.02)

    def _atoms(self, wid):
        actual, fmt, n, after, data = _ul(), _int(), _ul(), _ul(), _vp()
        refs = [ctypes.byref(v) for v in (actual, fmt, n, after, data)]
        if _X.XGetWindowProperty(self._dpy, wid, self._state, 0, 64, 0, _XA_ATOM, *refs) or not data.value:
            return []
        atoms = list(ctypes.cast(data, ctypes.POINTER(_ul))[:n.value])
        _X.XFree(data)
        return atoms

    def _apply(self, wid, on):
        atoms = [a for a in self._atoms(wid) if a != self._fs] + [self._fs] * on
        _X.XChangeProperty(self._dpy, wid, self._state, _XA_ATOM, 32, 0, (_ul * max(1, len(atoms)))(*atoms),
                           len(atoms))
        if on:
            _X.XMoveResizeWindow(self._dpy, wid, 0, 0, *self.screen)
