#!/usr/bin/env python3
# Configurations on file hosts: Debian's OpenSSH server on 127.0.0.1, started
# here with its own host key, a client key made here and known_hosts written
# here; one host as OpenSSH ships it (posix-rename), one that refuses a
# rename onto an existing file, as several panels' servers do; and an FTPS
# server (pyftpdlib, TLS required, a certificate made here). Two real
# engines read their configurations from an SFTP and the FTPS host: explain, set,
# check, apply, send and sync --to-file against them, the bytes on each host
# checked here against what set writes to a local copy, and a host key
# unknown or changed refused without a prompt. Every process started here is
# ended; every wait is bounded.
#
# usage: hosts.py ZELVAR_BITS ENGINE
#        hosts.py serve-ftps ROOT PORT CERT USER PASSWORD_FILE   (the FTPS server alone)
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
import zipfile

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


def listening(port, process, log):
    for _ in range(50):  # 5 s at most
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return
        except OSError:
            time.sleep(0.1)
    process.kill()
    sys.exit(f"{log} shows why nothing listens:\n" + open(log).read())


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
    log = os.path.join(folder, name + ".log")
    sshd = subprocess.Popen([SSHD, "-D", "-e", "-f", config], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=open(log, "w"))
    listening(port, sshd, log)
    return sshd, port


def client(folder, name, known):
    # The admin's ssh config, as ~/.ssh/config would hold it.
    with open(os.path.join(folder, name + ".ssh"), "w") as f:
        f.write(f"Host *\n  IdentityFile {folder}/client\n  IdentitiesOnly yes\n"
                f"  UserKnownHostsFile {folder}/{known}\n  User {getpass.getuser()}\n")
    wrapper = os.path.join(folder, name + ".sftp")
    with open(wrapper, "w") as f:
        # What the client was given to run with, kept for the test to search.
        f.write(f'#!/bin/sh\nenv >> "{folder}/{name}.env"\nexec sftp -F "{folder}/{name}.ssh" "$@"\n')
    os.chmod(wrapper, 0o755)
    return ["env", "ZELVAR_SFTP=" + wrapper]


def run(args, via, timeout=60, pause=0.0, secrets=()):
    # Secrets go in the environment, never in the words run.
    time.sleep(pause)
    return subprocess.run([*via, contract.BITS, *args], capture_output=True, text=True,
                          env=dict(os.environ, **dict(secrets)), stdin=subprocess.DEVNULL,
                          timeout=timeout)


def write_tree(root):
    # The home folder's zv.cfg shadows the installation's.
    home, base = os.path.join(root, "h", "g"), os.path.join(root, "g")
    os.makedirs(home, exist_ok=True)
    os.makedirs(base, exist_ok=True)
    with open(os.path.join(base, "server.cfg"), "w") as f:
        f.write("seta zv_teamLock 20\nseta g_weaponDisable 40\nexec zv\nexec inpak\n")
    # An exec'd file in an archive, found after a map archive's directory is
    # read from its end: 40 MB, of which only the end crosses the wire.
    # Hosts keep shared archives once and link them into each server's
    # folder: the link's name counts, and the size of what it leads to.
    os.makedirs(os.path.join(root, "shared"), exist_ok=True)
    with zipfile.ZipFile(os.path.join(root, "shared", "inpak.pk3"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("inpak.cfg", "seta zv_emotDisallow 12\n")
    os.symlink("../shared/inpak.pk3", os.path.join(base, "zz.pk3"))
    shutil.copy("/usr/share/games/openarena/baseoa/pak1-maps.pk3",
                os.path.join(base, "zzzmaps.pk3"))
    os.chmod(os.path.join(base, "server.cfg"), 0o640)
    for at, mask in ((os.path.join(root, "shared"), 2), (base, 8)):
        with open(os.path.join(at, "zv.cfg"), "w") as f:
            f.write(f"seta zv_wordFilter {mask}\n")
    os.symlink("../../shared/zv.cfg", os.path.join(home, "zv.cfg"))  # written through, kept a link


def start_ftps(folder, root, password):
    cert = os.path.join(folder, "ftps.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:P-256", "-nodes", "-keyout", cert, "-out", cert + ".crt",
                    "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                    "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
    with open(cert, "a") as f:
        f.write(open(cert + ".crt").read())
    with open(os.path.join(folder, "ftp.pw"), "w") as f:
        f.write(password + "\n")
    os.chmod(os.path.join(folder, "ftp.pw"), 0o600)
    port = free_port()
    # Debian's python3, whose pyftpdlib and pyOpenSSL the setup installs.
    log = os.path.join(folder, "ftps.log")
    server = subprocess.Popen(["/usr/bin/python3", os.path.abspath(__file__), "serve-ftps", root,
                               str(port), cert, "admin", os.path.join(folder, "ftp.pw")],
                              stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                              stderr=open(log, "w"))
    listening(port, server, log)
    return server, port, cert + ".crt"


def main():
    if SSHD is None or subprocess.run(["/usr/bin/python3", "-c", "import pyftpdlib, OpenSSL"],
                                      capture_output=True).returncode != 0:
        print("SKIP: no OpenSSH server or pyftpdlib (scripts/setup test installs them)")
        sys.exit(77)
    folder = tempfile.mkdtemp(prefix="zelvar-hosts-")
    started = []
    try:
        keygen(os.path.join(folder, "client"))
        sftp = {}
        for name, denied in (("openssh", ""), ("panel", "posix-rename")):
            sshd, port = start_sshd(folder, name, denied)
            started.append(sshd)
            sftp[name] = port
        with open(os.path.join(folder, "known"), "w") as f:
            for name, port in sftp.items():
                key = open(os.path.join(folder, name + ".key.pub")).read().split()[:2]
                f.write(f"[127.0.0.1]:{port} {' '.join(key)}\n")
        ftp_password = os.urandom(6).hex()
        os.makedirs(os.path.join(folder, "ftps"))
        ftps, ftps_port, authority = start_ftps(folder, os.path.join(folder, "ftps"), ftp_password)
        started.append(ftps)
        via = client(folder, "admin", "known") + ["CURL_CA_BUNDLE=" + authority]
        # Each root, and how a location names a path under it: over SFTP from
        # this machine's root, over FTP from the FTP user's own.
        where = {"openssh": (f"sftp://127.0.0.1:{sftp['openssh']}", folder + "/openssh"),
                 "panel": (f"sftp://127.0.0.1:{sftp['panel']}", folder + "/panel"),
                 "ftps": (f"ftps://admin@127.0.0.1:{ftps_port}", "")}
        locate = {n: (lambda at, n=n: where[n][0] + where[n][1] + at) for n in where}
        password = os.urandom(6).hex()
        engines, lines = {}, []
        for name in ("openssh", "ftps", "panel"):
            root = os.path.join(folder, name)
            write_tree(root)  # before the engine, which finds its archives as it starts
            if name != "panel":
                engines[name] = start_engine(root, password)
                started.append(engines[name][0])
            if name == "panel":
                continue
            rcon(engines[name][2], password, "exec server.cfg")
            # The FTPS host's root is the server's folder, as a panel's is: its
            # own folders, learnt from it, are found there.
            dirs = (f'game_dir = ["{locate[name]("/h/g")}", "{locate[name]("/g")}"]\n'
                    if name == "openssh" else "")
            lines.append(f'[servers.{name}]\naddress = "127.0.0.1:{engines[name][1]}"\n'
                         f'configuration = "{locate[name]("/g/server.cfg")}"\n{dirs}'
                         f'password_file = "pw"\nengine = "ioquake3"\n'
                         f'ftp_password_file = "ftp.pw"\n')
        with open(os.path.join(folder, "pw"), "w") as f:
            f.write(password + "\n")
        os.chmod(os.path.join(folder, "pw"), 0o600)
        with open(os.path.join(folder, "servers.toml"), "w") as f:
            f.write("\n".join(lines))
        fleet = via + ["ZELVAR_SERVERS=" + os.path.join(folder, "servers.toml")]
        outputs = []
        secrets = [password, ftp_password]

        # explain reads as it reads the same files here: the location's names aside.
        root = os.path.join(folder, "openssh")
        dirs = ["/h/g", "/g"]
        local = run(["--json", "explain", "--engine", "ioquake3",
                     *sum((["--game-dir", root + d] for d in dirs), []), root + "/g/server.cfg"],
                    via)
        remote = run(["--json", "explain", "--engine", "ioquake3",
                      *sum((["--game-dir", locate["openssh"](d)] for d in dirs), []),
                      locate["openssh"]("/g/server.cfg")],
                     via, secrets={"ZELVAR_RCON_PASSWORD": password,
                                   "ZELVAR_FTP_PASSWORD": ftp_password}.items())
        check("explain of a location reads as explain of the same files here",
              remote.returncode == 0 and remote.stdout.replace(where["openssh"][0], "")
              == local.stdout and f'"{locate["openssh"]("/h/g/zv.cfg")}"' in remote.stdout,
              remote)
        outputs += [local, remote]

        p = run(["check", "@all"], fleet, pause=1)
        check("check @all: both servers in step with their configurations on SFTP and FTPS, "
              "the FTPS server's folders learnt from it",
              p.returncode == 0 and p.stdout.count('zv_teamLock: in step ("20")') == 2
              and f'on its file host: "{locate["ftps"]("/h/g/")}"' in p.stdout + p.stderr, p)
        outputs.append(p)

        # The oracle: set on a copy here of each host's files.
        def copy_of(name):
            copy = os.path.join(folder, "copy-" + name)
            for d in (("g",), ("h", "g")):
                os.makedirs(os.path.join(copy, *d))
                for f in ("server.cfg", "zv.cfg"):
                    if os.path.exists(os.path.join(folder, name, *d, f)):
                        shutil.copy(os.path.join(folder, name, *d, f), os.path.join(copy, *d))
            o = run(["set", "--engine", "ioquake3", "--game-dir", f"{copy}/h/g", "--game-dir",
                     f"{copy}/g", f"{copy}/g/server.cfg", "zv_teamLock 4", "zv_wordFilter 6"], via)
            check(f"set on a copy of {name}'s files", o.returncode == 0, o)
            return copy

        def as_set_writes(names):
            files = (("g", "server.cfg"), ("g", "zv.cfg"), ("h", "g", "zv.cfg"))
            left = [f for n in names for d in (("g",), ("h", "g"), ("shared",))
                    for f in os.listdir(os.path.join(folder, n, *d)) if ".zv-" in f]
            left += [n for n in names if not os.path.islink(os.path.join(folder, n, "h", "g", "zv.cfg"))]
            modes = {os.stat(os.path.join(folder, n, "g", "server.cfg")).st_mode & 0o777
                     for n in names}
            return not left and modes == {0o640} and all(
                filecmp.cmp(os.path.join(copies[n], *f), os.path.join(folder, n, *f),
                            shallow=False) for n in names for f in files)

        copies = {n: copy_of(n) for n in where}
        p = run(["--json", "apply", "@all", "zv_teamLock 4", "zv_wordFilter 6"], fleet, pause=4)
        docs = json.loads(p.stdout) if p.stdout.startswith("[") else []
        # The linked file: OpenSSH's listing shows no target, so it is written
        # through the link; FTP's does, so the target is replaced.
        through = "rewritten through its link, not in one step"
        check("apply @all: each host's files hold what set writes here, nothing left beside them, "
              "the mode kept, the link a link; each server applied",
              p.returncode == 0 and as_set_writes(["openssh", "ftps"])
              and [d.get("written_as") for d in docs] == [["replaced", through],
                                                          ["replaced", "replaced"]]
              and all(d["sent"][0]["outcome"] == "applied" for d in docs), p)
        outputs.append(p)

        p = run(["--json", "set", "--engine", "ioquake3",
                 *sum((["--game-dir", locate["panel"](d)] for d in dirs), []),
                 locate["panel"]("/g/server.cfg"), "zv_teamLock 4", "zv_wordFilter 6"], via)
        check("a host that renames nothing onto a file: the old moved aside, the new whole",
              p.returncode == 0 and as_set_writes(["panel"])
              and json.loads(p.stdout)["written_as"] == ["replaced, the old moved aside first",
                                                         through],
              p)

        p = run(["send", "ftps", "zv_teamLock 16"], fleet, pause=4)
        check("send: live only", p.returncode == 0 and "zv_teamLock 16: applied" in p.stdout, p)
        # The curl program, as the Windows build carries FTP: what it was run with kept.
        curl = os.path.join(folder, "curl")
        with open(curl, "w") as f:
            f.write(f'#!/bin/sh\nenv >> "{curl}.env"\nprintf "%s\\n" "$@" >> "{curl}.args"\n'
                    'exec curl "$@"\n')
        os.chmod(curl, 0o755)
        p = run(["sync", "--to-file", "ftps"], fleet + ["ZELVAR_CURL=" + curl], pause=4)
        text = open(os.path.join(folder, "ftps", "g", "server.cfg")).read()
        check("sync --to-file writes what the server runs into its file on the FTPS host, "
              "through the curl program", p.returncode == 0 and "seta zv_teamLock 16\n" in text
              and not [f for f in os.listdir(os.path.join(folder, "ftps", "g")) if ".zv-" in f]
              and "--ssl-reqd" in open(curl + ".args").read(), p)
        outputs.append(p)

        plain = locate["ftps"]("/g/server.cfg").replace("ftps://", "ftp://")
        p = run(["explain", plain], via)
        check("plain FTP is refused where the servers file does not allow it",
              p.returncode == 2 and "in clear" in p.stderr, p)

        # Host keys: never a prompt, the fingerprint said, nothing read.
        fingerprint = subprocess.run(["ssh-keygen", "-l", "-f",
                                      os.path.join(folder, "openssh.key.pub")],
                                     capture_output=True, text=True).stdout.split()[1]
        open(os.path.join(folder, "empty"), "w").close()
        with open(os.path.join(folder, "other"), "w") as f:
            key = open(os.path.join(folder, "panel.key.pub")).read().split()[:2]
            f.write(f"[127.0.0.1]:{sftp['openssh']} {' '.join(key)}\n")
        for known, said in (("empty", "not yet known"), ("other", "not the one known_hosts")):
            p = run(["explain", locate["openssh"]("/g/server.cfg")], client(folder, known, known),
                    timeout=30)
            check(f"a host key {said}: refused, with its fingerprint, without a prompt",
                  p.returncode == 2 and said in p.stderr and fingerprint in p.stderr
                  and p.stdout == "", p)
        given = "".join(open(os.path.join(folder, f)).read()
                        for f in ("admin.env", "curl.env", "curl.args"))
        check("no password is in an argument, a byte printed, or the clients' environments",
              all(s not in o.stdout + o.stderr + " ".join(o.args) for o in outputs for s in secrets)
              and "ZELVAR_SERVERS" in given and not any(s in given for s in secrets))
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
