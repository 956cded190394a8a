#!/usr/bin/python3
"""Waits for a top-level window with the given title on $DISPLAY and asks it
to close, the way a window manager's close button does: a WM_DELETE_WINDOW
message. Exits 1 when no such window shows within the given seconds.

    close_window.py TITLE SECONDS
"""
import sys
import time

from Xlib import X, display, error, protocol


def title_of(dpy, window):
    utf8 = dpy.get_atom("UTF8_STRING")
    prop = window.get_full_property(dpy.get_atom("_NET_WM_NAME"), utf8)
    if prop is not None:
        return prop.value.decode("utf-8", "replace")
    name = window.get_wm_name()
    return name if isinstance(name, str) else None


def find(dpy, title):
    for window in dpy.screen().root.query_tree().children:
        try:
            if window.get_attributes().map_state == X.IsViewable and title_of(dpy, window) == title:
                return window
        except error.BadWindow:
            continue  # gone while we looked
    return None


def main():
    title, seconds = sys.argv[1], float(sys.argv[2])
    dpy = display.Display()
    deadline = time.monotonic() + seconds
    window = find(dpy, title)
    while window is None and time.monotonic() < deadline:
        time.sleep(0.1)
        window = find(dpy, title)
    if window is None:
        print("no window titled %r showed within %g s" % (title, seconds))
        return 1
    message = protocol.event.ClientMessage(
        window=window,
        client_type=dpy.get_atom("WM_PROTOCOLS"),
        data=(32, [dpy.get_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]),
    )
    window.send_event(message)
    # Until the server has taken the message: a client that leaves right
    # after writing a request can see the server drop it with the
    # connection, and the program then never hears of the close.
    dpy.sync()
    return 0


if __name__ == "__main__":
    sys.exit(main())
