#!/usr/bin/env python3
"""Reads the program's accessibility tree over AT-SPI, prints it, and checks it.

accessibility_tree.py check DESCRIPTION   the main window as a screen reader sees it, the
                                          picture described as DESCRIPTION
accessibility_tree.py dump                prints the tree only (a dialog open, say)
accessibility_tree.py extents NAME [TEXT] waits until a control named NAME (its description
                                          holding TEXT) is shown, prints where: x y width height
"""
import sys
import time

import pyatspi


def application():
    # The program registers with the accessibility bus a moment after it starts.
    for _ in range(100):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name.lower() == "vistoramo":
                return app
        time.sleep(0.1)
    sys.exit("FAIL: the program is not on the accessibility bus")


def walk(node, depth=0, found=None):
    found = [] if found is None else found
    role = node.getRoleName()
    print(f"{'  ' * depth}{role}: {node.name!r}" + (f" ({node.description})" if node.description else ""))
    found.append((role, node.name.strip(), node.description))
    for child in node:
        if child is not None:
            walk(child, depth + 1, found)
    return found


def find(node, name, text):
    if node.name == name and text in (node.description or ""):
        return node
    for child in node:
        if child is not None:
            hit = find(child, name, text)
            if hit is not None:
                return hit
    return None


def extents(name, text):
    for _ in range(200):
        hit = find(application(), name, text)
        if hit is not None:
            box = hit.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            if box.width > 0:
                print(box.x, box.y, box.width, box.height)
                return
        time.sleep(0.1)
    sys.exit(f"FAIL: no control {name!r} described with {text!r}")


def main():
    mode = sys.argv[1] if len(sys.argv) > 1 else ""
    if mode == "extents" and len(sys.argv) in (3, 4):
        extents(sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else "")
        return
    if mode not in ("check", "dump") or (mode == "check" and len(sys.argv) != 3):
        sys.exit(__doc__)
    app = application()
    found = walk(app)
    if mode == "dump":
        return
    want = sys.argv[2]
    expected = [
        ("frame", "Vistoramo", None),
        ("push button", "Geräte", None),
        ("push button", "Bilddatei", None),
        ("push button", "Ablage", None),
        ("image", "Bildansicht", want),
        ("image", "Bild", want),
        ("scroll bar", "Bildlauf senkrecht", None),
        ("scroll bar", "Bildlauf waagerecht", None),
        ("image", "Größe ändern", None),
    ]
    missing = [e for e in expected
               if not any(r == e[0] and n == e[1] and (e[2] is None or d == e[2]) for r, n, d in found)]
    # Everything in the main window is named: no anonymous filler a screen reader would announce.
    unnamed = [r for r, n, _ in found if not n and r not in ("application",)]
    for role, name, description in missing:
        print(f"FAIL: no {role} named {name!r}" + (f" described as {description!r}" if description else ""))
    for role in unnamed:
        print(f"FAIL: a {role} without a name")
    sys.exit(1 if missing or unnamed else 0)


main()
