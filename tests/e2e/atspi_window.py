#!/usr/bin/python3
"""Reads the app's windows through AT-SPI as a screen reader would, and presses a control by its name.

Usage: atspi_window.py <pid> names <name>...   every name labels a visible push button (exit 1 if one is missing)
       atspi_window.py <pid> press <name>      presses the push button with that name
       atspi_window.py <pid> showing <text>    exit 0 when a showing label reads exactly <text>
       atspi_window.py <pid> open <name>       opens the pop-up of the showing combo box with that name (its current text)
"""
import sys
import time

import pyatspi


def find_app(pid):
    deadline = time.time() + 10
    while time.time() < deadline:
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        time.sleep(0.2)
    sys.exit(f"no accessible application with pid {pid}")


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        try:
            yield from walk(node.getChildAtIndex(i), depth + 1)
        except Exception:
            pass


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def buttons(app):
    return {n.name: n for n in walk(app) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON and n.name and showing(n)}


def main():
    pid, command, args = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    app = find_app(pid)
    if command == "names":
        found = buttons(app)
        missing = [name for name in args if name not in found]
        if missing:
            sys.exit(f"no showing push button named {missing}; found {sorted(found)}")
    elif command == "press":
        button = buttons(app).get(args[0])
        if button is None:
            sys.exit(f"no showing push button named {args[0]!r}")
        actions = button.queryAction()
        for i in range(actions.nActions):
            if actions.getName(i) in ("Press", "press", "click"):
                actions.doAction(i)
                return
        sys.exit(f"{args[0]!r} has no press action")
    elif command == "showing":
        # The press above is handled by the app's event loop, a moment later.
        deadline = time.time() + 3
        while True:
            texts = [n.name for n in walk(app) if n.getRole() == pyatspi.ROLE_LABEL and showing(n)]
            if args[0] in texts:
                return
            if time.time() > deadline:
                sys.exit(f"no showing label {args[0]!r}; showing: {texts}")
            time.sleep(0.1)
    elif command == "open":
        # The tab that holds it may be switched to a moment earlier.
        deadline = time.time() + 3
        while True:
            combos = [n for n in walk(app) if n.getRole() == pyatspi.ROLE_COMBO_BOX and showing(n)]
            named = [n for n in combos if n.name == args[0]]
            if named:
                actions = named[0].queryAction()
                names = [actions.getName(i) for i in range(actions.nActions)]
                for i, name in enumerate(names):
                    if name in ("Press", "press", "showMenu", "ShowMenu"):
                        actions.doAction(i)
                        return
                sys.exit(f"combo box {args[0]!r} has no press action: {names}")
            if time.time() > deadline:
                sys.exit(f"no showing combo box named {args[0]!r}  showing: {[n.name for n in combos]}")
            time.sleep(0.1)
    else:
        sys.exit(__doc__)


main()
