#!/usr/bin/env python3
"""Saves what the programs show on the virtual display, cropped to their
windows: every top-level window that is mapped (dialogs, menus and their
submenus, the tooltip) is cut out of a picture of the whole screen, and the
screen between them is made white, so that a menu with its submenus keeps
its shape. The invisible anchor windows that own a menu are left out. The
result is an 8-bit palette PNG; dialogs and menus use far fewer colours.
With --wait-menu it waits instead until a popup menu (a window without a
title) is on the screen.
usage: window_picture.py OUTPUT.png | --wait-menu   (DISPLAY names the screen)"""
import os
import re
import subprocess
import sys
import tempfile
import time

# Windows that are on the screen but show nothing: the viewer's host window
# and the folder menu's anchor (transparent), Wine's own helpers.
HIDDEN_TITLES = {"ZPKMain.exe", "ZPKShlEx.dll"}


def mapped_windows():
    tree = subprocess.run(["xwininfo", "-root", "-children"], check=True, capture_output=True,
                          text=True).stdout
    rects = []
    for line in tree.splitlines():
        found = re.match(r'\s+(0x[0-9a-f]+) (?:"([^"]*)"|\(has no name\)).*?\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)',
                         line)
        if not found:
            continue
        window, title, width, height, x, y = found.groups()
        width, height, x, y = int(width), int(height), int(x), int(y)
        if title in HIDDEN_TITLES or width <= 2 or height <= 2:
            continue
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "Map State: IsViewable" not in info:
            continue
        rects.append((x, y, width, height, title or ""))
    return rects


def wait_for_menu():
    for _ in range(300):
        if any(not title for *_, title in mapped_windows()):
            return
        time.sleep(0.2)
    sys.exit("window_picture: no menu came")


def main():
    if sys.argv[1] == "--wait-menu":
        wait_for_menu()
        return
    output = sys.argv[1]
    rects = mapped_windows()
    if not rects:
        subprocess.run(["xwininfo", "-root", "-children"])
        sys.exit("window_picture: no window is shown")
    left = max(0, min(r[0] for r in rects))
    top = max(0, min(r[1] for r in rects))
    right = max(r[0] + r[2] for r in rects)
    bottom = max(r[1] + r[3] for r in rects)
    with tempfile.TemporaryDirectory() as work:
        screen = os.path.join(work, "screen.png")
        subprocess.run(["import", "-window", "root", screen], check=True)
        mask = ["-size", "%dx%d" % (right - left, bottom - top), "xc:black", "-fill", "white"]
        for x, y, width, height, _ in rects:
            mask += ["-draw", "rectangle %d,%d %d,%d" % (x - left, y - top, x - left + width - 1,
                                                        y - top + height - 1)]
        mask_file = os.path.join(work, "mask.png")
        subprocess.run(["convert"] + mask + [mask_file], check=True)
        # White, the screen inside the windows, the windows as the mask.
        subprocess.run(["convert", "-size", "%dx%d" % (right - left, bottom - top), "xc:white",
                        "(", screen, "-crop", "%dx%d+%d+%d" % (right - left, bottom - top, left, top), "+repage", ")",
                        mask_file, "-composite", "+dither", "-colors", "256", "-strip", "PNG8:" + output], check=True)
    for x, y, width, height, title in rects:
        print("  window %s %dx%d+%d+%d" % (title or "-", width, height, x, y))
    print("picture: %s (%dx%d)" % (output, right - left, bottom - top))


if __name__ == "__main__":
    main()
