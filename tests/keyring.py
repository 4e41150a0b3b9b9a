#!/usr/bin/env python3
# The system keyring, for real: gnome-keyring's Secret Service on a session
# bus of this test's own, its keyrings in a home of its own, so that no
# user's keyring is read or touched, even on a desktop. The Qt window keeps a
# password there (tst_window keptPassword, against the scripted server of
# contract.py), and zelvar-bits then finds it there and talks with it.
#
# Usage: keyring.py TST_WINDOW ZELVAR_BITS
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "s3cret"


def inside(tst_window, bits):
    env = dict(os.environ)
    env.pop("ZELVAR_RCON_PASSWORD", None)
    daemon = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock",
                               "--components=secrets"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    daemon.stdin.write(b"unlock")  # the new keyring's own password
    daemon.stdin.close()
    server = subprocess.Popen([sys.executable, HERE + "/contract.py", "serve"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=dict(env, ZELVAR_RCON_PASSWORD=PASSWORD))
    failed = []
    try:
        ask = ["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
               "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"]
        until = time.monotonic() + 20
        while "true" not in subprocess.run(ask, capture_output=True, text=True,
                                           timeout=10).stdout:
            if time.monotonic() > until:
                sys.exit("keyring: the Secret Service did not start")
            time.sleep(0.1)
        address = "127.0.0.1:" + server.stdout.readline().strip()
        window = subprocess.run([tst_window, "keptPassword"], timeout=120,
                                env=dict(env, QT_QPA_PLATFORM="offscreen",
                                         ZELVAR_KEYRING_SERVER=address))
        if window.returncode != 0:
            failed.append("the window kept and found the password")
        # Neither a password file nor the environment: the keyring's, with no
        # terminal to ask at.
        bits = subprocess.run([bits, "get", address], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, env=env, timeout=60)
        if bits.returncode != 0 or "zv_teamLock" not in bits.stdout or \
                PASSWORD in bits.stdout + bits.stderr:
            failed.append(f"zelvar-bits found it there: {bits.returncode} {bits.stderr}")
    finally:
        server.stdin.close()
        server.wait(10)
        daemon.terminate()
        daemon.wait(10)
    for what in failed:
        print("FAIL:", what)
    print("keyring:", "failed" if failed else "passed")
    return 1 if failed else 0


def main():
    if sys.argv[1] == "--inside":
        return inside(*sys.argv[2:4])
    with tempfile.TemporaryDirectory() as home:
        os.chmod(home, 0o700)
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data",
                   XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home)
        for gone in ("DBUS_SESSION_BUS_ADDRESS", "GNOME_KEYRING_CONTROL"):
            env.pop(gone, None)
        return subprocess.run(["dbus-run-session", "--", sys.executable, __file__, "--inside",
                               *sys.argv[1:3]], env=env, timeout=240).returncode


sys.exit(main())
