#!/usr/bin/python3
# The real program under strace on a virtual X display, clicked as a person
# would, then closed by the window manager's close request. It must end with
# status 0, create, write, rename or delete no file (so nothing of a run
# outlives it), open no network socket and connect only to the display and
# the session or accessibility bus (what a bus daemon it started does is the
# daemon's).
# Usage, on a virtual display (scripts/with-display): footprint.py PROGRAM
import os
import re
import subprocess
import sys
import tempfile
import time

from Xlib import X, display, protocol
from Xlib.ext import xtest

TITLE = "Zelvar 1.9 Bitrate Calculator V1.3"
CLICKS = [(446, 212), (334, 316), (72, 236), (318, 188)]  # amVstr, optJK, Command5, chkLock(2)
TRACED = ("trace=open,openat,creat,rename,renameat,renameat2,unlink,unlinkat,mkdir,mkdirat,"
          "rmdir,link,linkat,symlink,symlinkat,truncate,socket,connect,bind,listen,execve,"
          "clone,clone3,fork,vfork")
CHANGES_FILES = {"creat", "rename", "renameat", "renameat2", "unlink", "unlinkat", "mkdir",
                 "mkdirat", "rmdir", "link", "linkat", "symlink", "symlinkat", "truncate"}
LOCAL_PEERS = re.compile(r'sun_path=@?"(/tmp/\.X11-unix/X\d+|[^"]*(dbus|at-spi)[^"]*|[^"]*/bus)"')
CALL = re.compile(r"^(\d+)\s+(\w+)\((.*)\)\s+=\s+(-?\d+)")


def trespasses(log, program):
    """Calls of the program's own processes that change files or reach out."""
    children, foreign, found = {}, set(), []
    lines = [CALL.match(line) for line in log.splitlines()]
    for m in filter(None, lines):
        pid, name, args, result = int(m[1]), m[2], m[3], int(m[4])
        if name in ("clone", "clone3", "fork", "vfork") and result > 0:
            children.setdefault(pid, []).append(result)
        if name == "execve" and result == 0 and not args.startswith(f'"{program}"'):
            foreign.add(pid)
    stack = list(foreign)
    while stack:  # a daemon's children are the daemon's too
        stack += [c for c in children.get(stack.pop(), []) if c not in foreign]
        foreign.update(stack)
    for m in filter(None, lines):
        pid, name, args, result = int(m[1]), m[2], m[3], int(m[4])
        if pid in foreign or result < 0:
            continue
        writes = name in ("open", "openat") and re.search("O_WRONLY|O_RDWR|O_CREAT|O_TRUNC", args) \
            and '"/dev/null"' not in args and "/.cache/fontconfig/" not in args
        bad = (name in CHANGES_FILES and "/.cache/fontconfig/" not in args) or writes \
            or name in ("bind", "listen") or (name == "socket" and not args.startswith("AF_UNIX")) \
            or (name == "connect" and not LOCAL_PEERS.search(args))
        if bad:
            found.append(m[0])
    return found


def poll(probe, timeout):
    """The first true answer of probe() within timeout seconds, else None."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        answer = probe()
        if answer:
            return answer
        time.sleep(0.15)
    return None


def capture(window, differing_from=None):
    """What the window shows once two looks a little apart agree."""
    g, last = window.get_geometry(), [None]

    def settled():
        now = window.get_image(0, 0, g.width, g.height, X.ZPixmap, 0xFFFFFFFF).data
        same, last[0] = now == last[0], now
        return same and now != differing_from and any(now) and now
    return poll(settled, 10)


def run(program, clicks, scratch):
    log = os.path.join(scratch, f"strace-{len(clicks)}.log")
    env = dict(os.environ, XDG_RUNTIME_DIR=scratch)
    env.pop("QT_QPA_PLATFORM", None)
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"  # no LSan under ptrace
    proc = subprocess.Popen(["strace", "-f", "-q", "-o", log, "-e", TRACED, program], env=env)
    d = display.Display()
    screen = d.screen()
    window = poll(lambda: next((w for w in screen.root.query_tree().children
                                if w.get_wm_name() == TITLE
                                and w.get_attributes().map_state == X.IsViewable), None), 20)
    assert window is not None, "the window did not appear"
    start = capture(window)
    origin = window.translate_coords(screen.root, 0, 0)
    for x, y in clicks:
        xtest.fake_input(d, X.MotionNotify, x=x - origin.x, y=y - origin.y)
        xtest.fake_input(d, X.ButtonPress, 1)
        xtest.fake_input(d, X.ButtonRelease, 1)
        d.sync()
        time.sleep(0.1)
    assert not clicks or capture(window, differing_from=start), "the clicks changed nothing"
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    window.send_event(protocol.event.ClientMessage(window=window, client_type=protocols,
                                                   data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    d.sync()

    def ended():  # the program's own end, not strace's: a bus daemon it started may live on
        with open(log, encoding="utf-8", errors="replace") as f:
            text = f.read()
        if not text:
            return None
        status = re.search(rf"^{text.split(None, 1)[0]}\s+\+\+\+ exited with (\d+) \+\+\+$",
                           text, re.M)
        return status and (status[1], text)
    status, text = poll(ended, 20) or (None, "")
    proc.kill()  # and with it what it still traces
    proc.wait()
    assert status == "0", "the program did not end with status 0 on a close request"
    found = trespasses(text, program)
    assert not found, "trespasses:\n" + "\n".join(found)


def main():
    program = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as scratch:
        run(program, CLICKS, scratch)
    print("footprint: no trace")


if __name__ == "__main__":
    main()
