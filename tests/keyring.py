#!/usr/bin/env python3
# The system keyring, for real: gnome-keyring's Secret Service on a session
# bus of this test's own, its keyrings in a home of its own, so that no
# user's keyring is read or touched, even on a desktop. A wrong password is
# kept there for the scripted server of contract.py; the Qt window meets it
# and keeps the right one (tst_window keptPassword); zelvar-bits then finds
# that one there and talks with it.
#
# Usage: keyring.py TST_WINDOW ZELVAR_BITS
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def inside(tst_window, bits):
    env = {k: v for k, v in os.environ.items() if k != "ZELVAR_RCON_PASSWORD"}
    daemon = subprocess.Popen(["gnome-keyring-daemon", "--foreground", "--unlock",
                               "--components=secrets"], stdin=subprocess.PIPE,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    daemon.stdin.write(b"unlock")  # the new keyring's own password
    daemon.stdin.close()
    server = subprocess.Popen([sys.executable, HERE + "/contract.py", "serve"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=dict(env, ZELVAR_RCON_PASSWORD="s3cret"))
    try:
        address = "127.0.0.1:" + server.stdout.readline().strip()
        store = ["secret-tool", "store", "--label=test", "server", "zelvar-rcon", "user", address,
                 "type", "plaintext"]
        until = time.monotonic() + 20  # until the daemon answers on the bus
        while subprocess.run(store, input="wrong", text=True, timeout=10).returncode != 0:
            if time.monotonic() > until:
                sys.exit("keyring: the Secret Service did not start")
            time.sleep(0.2)
        window = subprocess.run([tst_window, "keptPassword"], timeout=120, env=dict(
            env, QT_QPA_PLATFORM="offscreen", ZELVAR_KEYRING_SERVER=address))
        # Neither a password file nor the environment, nor a terminal to ask at.
        got = subprocess.run([bits, "get", address], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, env=env, timeout=60)
        print(got.stdout + got.stderr)
        passed = window.returncode == got.returncode == 0 and "s3cret" not in got.stdout + got.stderr
        print("keyring:", "passed" if passed else "failed")
        return 0 if passed else 1
    finally:
        server.stdin.close()
        server.wait(10)
        daemon.terminate()
        daemon.wait(10)


def main():
    if sys.argv[1] == "--inside":
        return inside(*sys.argv[2:4])
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=home + "/data",
                   XDG_CONFIG_HOME=home + "/config", XDG_RUNTIME_DIR=home)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        return subprocess.run(["dbus-run-session", "--", sys.executable, __file__, "--inside",
                               *sys.argv[1:3]], env=env, timeout=240).returncode


sys.exit(main())
