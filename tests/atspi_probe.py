"""Asks the running start menu through AT-SPI what a screen reader gets.

    atspi_probe.py TITLE tree        the window and each part: "<role>: <name>"
                                     and, where there is one, " [<action>]"
    atspi_probe.py TITLE press N     runs the action of part N (from 1)
    atspi_probe.py TITLE keys K...   for each key (an xdotool key name), types
                                     it and prints the focus event it brings,
                                     "focus <role>: <name> [<action>]"

TITLE is the beginning of the window's name; the window is waited for for
at most 10 s. Exits 1 on any failure.
"""
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib


def fail(what):
    print("FAIL " + what)
    sys.exit(1)


def describe(o):
    line = "%s: %s" % (o.getRoleName(), o.name)
    try:
        action = o.queryAction()
        if action.nActions:
            line += " [%s]" % action.getName(0)
    except NotImplementedError:
        pass
    return line


def find_window(title):
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            for window in app or []:
                if window is not None and window.name.startswith(title):
                    return window
        time.sleep(0.1)
    fail("no window named like " + title)


def keys(window, names):
    seen = []
    loop = GLib.MainLoop()

    def on_focus(event):
        if event.detail1 == 1:
            seen.append(describe(event.source))
            loop.quit()

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    for name in names:
        del seen[:]
        subprocess.run(["xdotool", "key", name], check=True)
        GLib.timeout_add(5000, loop.quit)
        loop.run()
        if not seen:
            fail("no focus event after " + name)
        print("focus " + seen[-1])


def main():
    title, command = sys.argv[1], sys.argv[2]
    window = find_window(title)
    if command == "tree":
        print(describe(window))
        for part in window:
            print(describe(part))
    elif command == "press":
        number = int(sys.argv[3])
        window[number - 1].queryAction().doAction(0)
        print("pressed %d" % number)
    elif command == "keys":
        keys(window, sys.argv[3:])
    else:
        sys.exit(2)


main()
