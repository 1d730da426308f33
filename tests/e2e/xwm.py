"""Just enough of a window manager for full-screen tests under a bare Xvfb.

Xvfb has no window manager, so a toplevel's request to go full screen (a _NET_WM_STATE message to the
root window, or the state set before mapping) would go unanswered. FullScreenManager answers it the way
an EWMH window manager does: it sets the window's _NET_WM_STATE and gives it the whole screen, or its
old geometry back. It can also take a window out of full screen itself, as a desktop shortcut would.

    with xwm.FullScreenManager(display) as wm:
        ...
        wm.set_full_screen(wid, False)
"""

import ctypes
import ctypes.util
import threading
import time

_ClientMessage, _PropertyNotify, _MapNotify = 33, 28, 19
_SubstructureNotifyMask = 1 << 19
_XA_ATOM = 4
_REMOVE, _ADD, _TOGGLE = 0, 1, 2


class _XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _XMapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", _XClientMessageEvent), ("xmap", _XMapEvent),
                ("pad", ctypes.c_long * 24)]


def _xlib():
    x = ctypes.CDLL(ctypes.util.find_library("X11"))
    vp, ul = ctypes.c_void_p, ctypes.c_ulong
    sig = {
        "XOpenDisplay": (vp, [ctypes.c_char_p]),
        "XCloseDisplay": (ctypes.c_int, [vp]),
        "XDefaultRootWindow": (ul, [vp]),
        "XDisplayWidth": (ctypes.c_int, [vp, ctypes.c_int]),
        "XDisplayHeight": (ctypes.c_int, [vp, ctypes.c_int]),
        "XInternAtom": (ul, [vp, ctypes.c_char_p, ctypes.c_int]),
        "XSelectInput": (ctypes.c_int, [vp, ul, ctypes.c_long]),
        "XPending": (ctypes.c_int, [vp]),
        "XNextEvent": (ctypes.c_int, [vp, ctypes.POINTER(_XEvent)]),
        "XSendEvent": (ctypes.c_int, [vp, ul, ctypes.c_int, ctypes.c_long, ctypes.POINTER(_XEvent)]),
        "XChangeProperty": (ctypes.c_int, [vp, ul, ul, ul, ctypes.c_int, ctypes.c_int, vp, ctypes.c_int]),
        "XGetWindowProperty": (ctypes.c_int, [vp, ul, ul, ctypes.c_long, ctypes.c_long, ctypes.c_int, ul,
                                              ctypes.POINTER(ul), ctypes.POINTER(ctypes.c_int),
                                              ctypes.POINTER(ul), ctypes.POINTER(ul), ctypes.POINTER(vp)]),
        "XFree": (ctypes.c_int, [vp]),
        "XGetGeometry": (ctypes.c_int, [vp, ul, ctypes.POINTER(ul), ctypes.POINTER(ctypes.c_int),
                                        ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_uint),
                                        ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint),
                                        ctypes.POINTER(ctypes.c_uint)]),
        "XMoveResizeWindow": (ctypes.c_int, [vp, ul, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint]),
        "XFlush": (ctypes.c_int, [vp]),
        "XSetErrorHandler": (vp, [vp]),
    }
    for name, (res, args) in sig.items():
        fn = getattr(x, name)
        fn.restype, fn.argtypes = res, args
    return x


# A window that vanished between an event and our answer is not an error worth dying for.
_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)


def send_close_request(display, wid):
    """WM_DELETE_WINDOW to wid, as a window manager sends when the user closes a window."""
    x = _xlib()
    dpy = x.XOpenDisplay(display.encode())
    if not dpy:
        raise RuntimeError(f"cannot open display {display}")
    try:
        ev = _XEvent()
        ev.xclient.type = _ClientMessage
        ev.xclient.window = wid
        ev.xclient.format = 32
        ev.xclient.message_type = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        ev.xclient.data[0] = x.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)
        x.XSendEvent(dpy, wid, 0, 0, ctypes.byref(ev))
        x.XFlush(dpy)
    finally:
        x.XCloseDisplay(dpy)


class FullScreenManager:
    def __init__(self, display):
        self._x = _xlib()
        self._x.XSetErrorHandler(ctypes.cast(_ERROR_HANDLER, ctypes.c_void_p))
        self._dpy = self._x.XOpenDisplay(display.encode())
        if not self._dpy:
            raise RuntimeError(f"cannot open display {display}")
        self._root = self._x.XDefaultRootWindow(self._dpy)
        atom = lambda n: self._x.XInternAtom(self._dpy, n.encode(), 0)
        self._state, self._fs = atom("_NET_WM_STATE"), atom("_NET_WM_STATE_FULLSCREEN")
        self.screen = (self._x.XDisplayWidth(self._dpy, 0), self._x.XDisplayHeight(self._dpy, 0))
        self._saved = {}
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._x.XSelectInput(self._dpy, self._root, _SubstructureNotifyMask)
        self._x.XFlush(self._dpy)
        self._thread = threading.Thread(target=self._run, name="xwm", daemon=True)
        self._thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        self._stop.set()
        self._thread.join(3)
        with self._lock:
            if self._dpy:
                self._x.XCloseDisplay(self._dpy)
                self._dpy = None

    def set_full_screen(self, wid, on):
        with self._lock:
            self._apply(wid, on)
            self._x.XFlush(self._dpy)

    def _run(self):
        ev = _XEvent()
        while not self._stop.is_set():
            with self._lock:
                while self._dpy and self._x.XPending(self._dpy):
                    self._x.XNextEvent(self._dpy, ctypes.byref(ev))
                    self._handle(ev)
                if self._dpy:
                    self._x.XFlush(self._dpy)
            time.sleep(0.02)

    def _handle(self, ev):
        if ev.type == _ClientMessage and ev.xclient.message_type == self._state:
            action, first, second = ev.xclient.data[0], ev.xclient.data[1], ev.xclient.data[2]
            if self._fs in (first, second):
                wid = ev.xclient.window
                on = {_ADD: True, _REMOVE: False}.get(action, not self._is_full_screen(wid))
                self._apply(wid, on)
        elif ev.type == _MapNotify and self._is_full_screen(ev.xmap.window):
            # The state was set before the window was mapped.
            self._apply(ev.xmap.window, True)

    def _is_full_screen(self, wid):
        return self._fs in self._atoms(wid)

    def _atoms(self, wid):
        ul = ctypes.c_ulong
        actual, fmt, n, after, data = ul(), ctypes.c_int(), ul(), ul(), ctypes.c_void_p()
        if self._x.XGetWindowProperty(self._dpy, wid, self._state, 0, 64, 0, _XA_ATOM, ctypes.byref(actual),
                                      ctypes.byref(fmt), ctypes.byref(n), ctypes.byref(after),
                                      ctypes.byref(data)) != 0 or not data.value:
            return []
        try:
            return list(ctypes.cast(data, ctypes.POINTER(ul))[:n.value])
        finally:
            self._x.XFree(data)

    def _geometry(self, wid):
        root, x, y = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_int()
        w, h, b, d = ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint()
        self._x.XGetGeometry(self._dpy, wid, ctypes.byref(root), ctypes.byref(x), ctypes.byref(y),
                             ctypes.byref(w), ctypes.byref(h), ctypes.byref(b), ctypes.byref(d))
        return x.value, y.value, w.value, h.value

    def _apply(self, wid, on):
        atoms = [a for a in self._atoms(wid) if a != self._fs] + ([self._fs] if on else [])
        arr = (ctypes.c_ulong * max(1, len(atoms)))(*atoms)
        self._x.XChangeProperty(self._dpy, wid, self._state, _XA_ATOM, 32, 0, ctypes.cast(arr, ctypes.c_void_p),
                                len(atoms))
        if on:
            if wid not in self._saved:
                self._saved[wid] = self._geometry(wid)
            self._x.XMoveResizeWindow(self._dpy, wid, 0, 0, *self.screen)
        elif wid in self._saved:
            self._x.XMoveResizeWindow(self._dpy, wid, *self._saved.pop(wid))
