#!/usr/bin/env python3
# Configurations on file hosts: Debian's OpenSSH server on 127.0.0.1, started
# here with its own host key, a client key made here and known_hosts written
# here; one host as OpenSSH ships it (posix-rename), one that refuses a
# rename onto an existing file, as several panels' servers do. Two real
# engines read their configurations from those hosts' folders: explain, set,
# check, apply, send and sync --to-file against them, the bytes on each host
# checked here against what set writes to a local copy, and a host key
# unknown or changed refused without a prompt. Every process started here is
# ended; every wait is bounded.
#
# usage: hosts.py ZELVAR_BITS ENGINE
import filecmp
import getpass
import json
import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time

import contract
from contract import check, rcon, start_engine

SSHD = shutil.which("sshd", path="/usr/sbin:/usr/local/sbin:" + os.environ.get("PATH", ""))


def keygen(path):
    subprocess.run(["ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", path], check=True,
                   stdin=subprocess.DEVNULL)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_sshd(folder, name, denied=""):
    keygen(os.path.join(folder, name + ".key"))
    port = free_port()
    config = os.path.join(folder, name + ".sshd")
    with open(config, "w") as f:
        f.write(f"Port {port}\nListenAddress 127.0.0.1\nHostKey {folder}/{name}.key\n"
                f"AuthorizedKeysFile {folder}/client.pub\nPermitRootLogin yes\n"
                "PasswordAuthentication no\nKbdInteractiveAuthentication no\nUsePAM no\n"
                f"StrictModes no\nPidFile none\n"
                f"Subsystem sftp internal-sftp{' -P ' + denied if denied else ''}\n")
    if os.getuid() == 0:
        os.makedirs("/run/sshd", exist_ok=True)
    sshd = subprocess.Popen([SSHD, "-D", "-e", "-f", config], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL,
                            stderr=open(os.path.join(folder, name + ".log"), "w"))
    for _ in range(50):  # 5 s at most
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return sshd, port
        except OSError:
            time.sleep(0.1)
    sshd.kill()
    sys.exit("sshd did not start:\n" + open(os.path.join(folder, name + ".log")).read())


def client(folder, name, known):
    # The admin's ssh config, as ~/.ssh/config would hold it.
    with open(os.path.join(folder, name + ".ssh"), "w") as f:
        f.write(f"Host *\n  IdentityFile {folder}/client\n  IdentitiesOnly yes\n"
                f"  UserKnownHostsFile {folder}/{known}\n  User {getpass.getuser()}\n")
    wrapper = os.path.join(folder, name + ".sftp")
    with open(wrapper, "w") as f:
        f.write(f'#!/bin/sh\nexec sftp -F "{folder}/{name}.ssh" "$@"\n')
    os.chmod(wrapper, 0o755)
    return ["env", "ZELVAR_SFTP=" + wrapper]


def run(args, via, timeout=60, pause=0.0):
    time.sleep(pause)
    return contract.run(args, via=via, timeout=timeout)


def main():
    if SSHD is None:
        print("SKIP: no OpenSSH server (scripts/setup test installs it)")
        sys.exit(77)
    folder = tempfile.mkdtemp(prefix="zelvar-hosts-")
    started = []
    try:
        keygen(os.path.join(folder, "client"))
        hosts = {}
        for name, denied in (("openssh", ""), ("panel", "posix-rename")):
            sshd, port = start_sshd(folder, name, denied)
            started.append(sshd)
            hosts[name] = port
        with open(os.path.join(folder, "known"), "w") as f:
            for name, port in hosts.items():
                key = open(os.path.join(folder, name + ".key.pub")).read().split()[:2]
                f.write(f"[127.0.0.1]:{port} {' '.join(key)}\n")
        via = client(folder, "admin", "known")
        password = os.urandom(6).hex()
        engines, lines = {}, []
        for name, port in hosts.items():
            root = os.path.join(folder, name)
            engine = start_engine(root, password)
            started.append(engine[0])
            engines[name] = engine
            home, base = os.path.join(root, "h", "g"), os.path.join(root, "g")
            os.makedirs(home, exist_ok=True)
            # The home folder's zv.cfg shadows the installation's.
            with open(os.path.join(base, "server.cfg"), "w") as f:
                f.write("seta zv_teamLock 20\nseta g_weaponDisable 40\nexec zv\n")
            for at, mask in ((home, 2), (base, 8)):
                with open(os.path.join(at, "zv.cfg"), "w") as f:
                    f.write(f"seta zv_wordFilter {mask}\n")
            for f in ("server.cfg",):
                os.chmod(os.path.join(base, f), 0o640)
            rcon(engine[2], password, "exec server.cfg")
            where = f"sftp://127.0.0.1:{port}"
            lines.append(f'[servers.{name}]\naddress = "127.0.0.1:{engine[1]}"\n'
                         f'configuration = "{where}{base}/server.cfg"\n'
                         f'game_dir = ["{where}{home}", "{where}{base}"]\n'
                         f'password_file = "pw"\nengine = "ioquake3"\n')
        with open(os.path.join(folder, "pw"), "w") as f:
            f.write(password + "\n")
        os.chmod(os.path.join(folder, "pw"), 0o600)
        with open(os.path.join(folder, "servers.toml"), "w") as f:
            f.write("\n".join(lines))
        fleet = via + ["ZELVAR_SERVERS=" + os.path.join(folder, "servers.toml")]
        outputs = []

        # explain reads as it reads the same files here: the location's names aside.
        port, root = hosts["openssh"], os.path.join(folder, "openssh")
        where = f"sftp://127.0.0.1:{port}"
        dirs = [f"{root}/h/g", f"{root}/g"]
        local = run(["--json", "explain", "--engine", "ioquake3", *sum((["--game-dir", d] for d in dirs), []),
                     f"{root}/g/server.cfg"], via)
        remote = run(["--json", "explain", "--engine", "ioquake3",
                      *sum((["--game-dir", where + d] for d in dirs), []),
                      f"{where}{root}/g/server.cfg"], via)
        check("explain of a location reads as explain of the same files here",
              remote.returncode == 0 and remote.stdout.replace(where, "") == local.stdout
              and f'"{where}{root}/h/g/zv.cfg"' in remote.stdout,
              remote)
        outputs += [local, remote]

        p = run(["check", "@all"], fleet, pause=1)
        check("check @all: both servers in step with their configurations on the hosts",
              p.returncode == 0 and p.stdout.count('zv_teamLock: in step ("20")') == 2, p)

        # The oracle: set on a copy here of each host's files.
        copies = {}
        for name in hosts:
            copy = os.path.join(folder, "copy-" + name)
            shutil.copytree(os.path.join(folder, name, "g"), os.path.join(copy, "g"),
                            ignore=shutil.ignore_patterns("*.pk3", "*.so"))
            shutil.copytree(os.path.join(folder, name, "h", "g"), os.path.join(copy, "h", "g"))
            o = run(["set", "--engine", "ioquake3", "--game-dir", f"{copy}/h/g", "--game-dir",
                     f"{copy}/g", f"{copy}/g/server.cfg", "zv_teamLock 4", "zv_wordFilter 6"], via)
            copies[name] = copy
            check(f"set on the copy of {name}'s files", o.returncode == 0, o)
        p = run(["--json", "apply", "@all", "zv_teamLock 4", "zv_wordFilter 6"], fleet, pause=4)
        docs = json.loads(p.stdout) if p.stdout.startswith("[") else []
        same = all(filecmp.cmp(os.path.join(copies[n], *f), os.path.join(folder, n, *f),
                               shallow=False)
                   for n in hosts for f in (("g", "server.cfg"), ("g", "zv.cfg"), ("h", "g", "zv.cfg")))
        left = [f for n in hosts for d in (("g",), ("h", "g"))
                for f in os.listdir(os.path.join(folder, n, *d)) if ".zv-" in f]
        modes = {oct(os.stat(os.path.join(folder, n, "g", "server.cfg")).st_mode & 0o777)
                 for n in hosts}
        check("apply @all: each host's files hold what set writes here, nothing left beside them, "
              "the mode kept; each server applied",
              p.returncode == 0 and same and not left and modes == {"0o640"}
              and [d.get("written_as") for d in docs]
              == [["replaced", "replaced"], ["replaced, the old moved aside first"] * 2]
              and all(d["sent"][0]["outcome"] == "applied" for d in docs), p)
        outputs.append(p)

        p = run(["send", "panel", "zv_teamLock 16"], fleet, pause=4)
        check("send: live only", p.returncode == 0 and "zv_teamLock 16: applied" in p.stdout, p)
        p = run(["sync", "--to-file", "panel"], fleet, pause=4)
        text = open(os.path.join(folder, "panel", "g", "server.cfg")).read()
        check("sync --to-file writes what the server runs into its file on the host",
              p.returncode == 0 and "seta zv_teamLock 16\n" in text, p)

        # Host keys: never a prompt, the fingerprint said, nothing read.
        fingerprint = subprocess.run(["ssh-keygen", "-l", "-f",
                                      os.path.join(folder, "openssh.key.pub")],
                                     capture_output=True, text=True).stdout.split()[1]
        open(os.path.join(folder, "empty"), "w").close()
        with open(os.path.join(folder, "other"), "w") as f:
            key = open(os.path.join(folder, "panel.key.pub")).read().split()[:2]
            f.write(f"[127.0.0.1]:{port} {' '.join(key)}\n")
        for known, said in (("empty", "not yet known"), ("other", "not the one known_hosts")):
            p = run(["explain", f"{where}{root}/g/server.cfg"], client(folder, known, known),
                    timeout=30)
            check(f"a host key {said}: refused, with its fingerprint, without a prompt",
                  p.returncode == 2 and said in p.stderr and fingerprint in p.stderr
                  and p.stdout == "", p)
        check("the password is in no argument and no byte printed",
              all(password not in o.stdout + o.stderr + " ".join(o.args) for o in outputs))
    finally:
        for process in started:
            process.kill()
            process.wait(10)
        shutil.rmtree(folder, ignore_errors=True)


def serve_ftps(root, port, cert, user, password_file):
    # Debian's pyftpdlib, TLS required for the login and every transfer.
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
    from pyftpdlib.servers import FTPServer
    import logging
    import threading
    logging.basicConfig(level=int(os.environ.get("FTP_LOG", logging.WARNING)))
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, open(password_file).read().strip(), root, perm="elradfmwMT")
    class DTP(TLS_DTPHandler):  # pyftpdlib 1.5.7 drops a data connection in its handshake
        def readable(self):
            return self._ssl_accepting or super().readable()

    handler = TLS_FTPHandler
    handler.dtp_handler = DTP
    handler.certfile = cert
    handler.authorizer = authorizer
    handler.tls_control_required = handler.tls_data_required = True
    handler.passive_ports = range(port + 1, port + 20)
    server = FTPServer(("127.0.0.1", port), handler)
    threading.Timer(300, os._exit, [0]).start()  # never outlives a test gone astray
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    server.serve_forever()


if __name__ == "__main__" and sys.argv[1:2] == ["serve-ftps"]:
    serve_ftps(sys.argv[2], int(sys.argv[3]), *sys.argv[4:7])
elif __name__ == "__main__":
    contract.BITS, contract.ENGINE = sys.argv[1:3]
    main()
