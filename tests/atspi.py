#!/usr/bin/python3
# What a screen reader hears, over AT-SPI: the window is a frame named by its
# title, nothing unnamed (the picture) is in its way, and a box, a rank button
# and the line read as they show. Usage, in a dbus-run-session on a
# virtual display (scripts/with-display): atspi.py PROGRAM
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

TITLE = "Zelvar 1.9 Bitrate Calculator V1.3"


def find_frame(timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == "zelvar-bitrate" and app.childCount > 0:
                return app[0]
        time.sleep(0.2)
    return None


def walk(node):
    yield node
    for child in node:
        yield from walk(child)


def main():
    with tempfile.TemporaryDirectory() as runtime:
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_RUNTIME_DIR=runtime)
        env.pop("QT_QPA_PLATFORM", None)
        program = subprocess.Popen([sys.argv[1]], env=env)
        try:
            frame = find_frame()
            assert frame is not None, "the program never showed on the accessibility bus"
            assert frame.getRoleName() == "frame", frame.getRoleName()
            assert frame.name == TITLE, frame.name
            heard = {(n.getRoleName(), n.name, n.description) for n in walk(frame)}
            for expected in [("check box", "WP_SABER", "bit 3, value 8"),
                             ("radio button", "Knight", ""),
                             ("push button", "Admin Command Disable", "")]:
                assert expected in heard, f"{expected} not heard"
            line = next(n for n in walk(frame) if n.name == "Server setting line")
            assert line.queryText().getText(0, -1) == "zv_councilAllowedCMD 536870910"
            unnamed = [n.getRoleName() for n in walk(frame) if not n.name]
            assert not unnamed, f"unnamed objects: {unnamed}"
        finally:
            program.kill()
    print("atspi: a frame named by its title; every object named; no picture")


if __name__ == "__main__":
    main()
