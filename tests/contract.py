#!/usr/bin/env python3
# zelvar-bits as scripts and servers meet it.
#
# - A real server: the engine of the game's family on 127.0.0.1, a random port
#   and a password made here. status, get and send against it, and a wrong
#   password; what the server then holds is read here, over the wire.
# - A scripted server, for what a real one will not do on demand: the other
#   print forms with colour codes, replies split over several packets, the
#   2003-era rule that drops any remote command within 500 ms of the last,
#   forged replies from another port and with another challenge, a latched
#   answer, a refusal, silence.
# - The contract: every JSON key the man page documents is one some command
#   writes, and every key written is documented; the exit status follows the
#   worst of several values, not the last.
# The password must never reach an argument or a byte the tool prints.
# Everything talks to 127.0.0.1 only, every wait is bounded and every process
# started here is ended.
#
# usage: contract.py ZELVAR_BITS ENGINE MAN_PAGE
#        contract.py serve      (the scripted server alone: prints its port,
#                                answers until standard input closes)
import json
import os
import random
import re
import secrets
import socket
import subprocess
import sys
import tempfile
import threading
import time

OOB = b"\xff\xff\xff\xff"


def run(args, password=None, timeout=30, via=(), **kw):
    time.sleep(0.6)  # a server's pacing spans processes, which cannot know of each other
    env = dict(os.environ)
    env.pop("ZELVAR_RCON_PASSWORD", None)
    if password is not None:
        env["ZELVAR_RCON_PASSWORD"] = password
    start = time.monotonic()
    p = subprocess.run([*via, BITS, *args], capture_output=True, text=True, env=env,
                       stdin=subprocess.DEVNULL, timeout=timeout, **kw)
    p.seconds = time.monotonic() - start
    return p


class Scripted:
    """A server that answers as the script says, on a port of its own."""

    def __init__(self, password, silent=False, host="127.0.0.1"):
        self.password = password.encode()
        self.silent = silent
        self.sock = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET,
                                  socket.SOCK_DGRAM)
        self.sock.bind((host, 0))
        self.port = self.sock.getsockname()[1]
        self.forger = socket.socket(self.sock.family, socket.SOCK_DGRAM)
        self.forger.bind((host, 0))
        self.held = {"zv_teamLock": "20", "zv_votesDisable": "0", "g_weaponDisable": "524279"}
        self.latched = {"g_weaponDisable": "40"}  # waiting for the next map
        self.read_only = {"zv_votesDisable"}
        self.last_rcon = 0.0
        self.dropped = 0
        self.rcon_seen = 0
        self.stop = False
        threading.Thread(target=self.serve, daemon=True).start()

    def print(self, to, *pieces):
        # The 2003-era way: a packet a printed piece, then an empty one. A
        # piece after it would be read only by a client that waits for silence.
        for piece in (*pieces, ""):
            self.sock.sendto(OOB + b"print\n" + piece.encode(), to)
        threading.Timer(0.1, self.late, [to]).start()

    def late(self, to):
        try:
            self.sock.sendto(OOB + b'print\nzv_teamLock "999"\n', to)
        except OSError:  # closed meanwhile
            pass

    def serve(self):
        self.sock.settimeout(0.2)
        while not self.stop:
            try:
                data, sender = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:  # closed
                return
            self.silent = self.silent or data == OOB + b"silence"  # from a test, from now on
            if self.silent or not data.startswith(OOB):
                continue
            words = data[4:].decode("latin-1").split(" ")
            if words[0] in ("getstatus", "getinfo"):
                challenge = words[1]
                # Forged: the right challenge from another port, and another challenge.
                self.forger.sendto(OOB + f"statusResponse\n\\challenge\\{challenge}"
                                   "\\g_weaponDisable\\1\n".encode(), sender)
                self.sock.sendto(OOB + b"statusResponse\n\\challenge\\1\\g_weaponDisable\\2\n",
                                 sender)
                self.sock.sendto(OOB + f"statusResponse\n\\sv_hostname\\^1x\\challenge\\"
                                 f"{challenge}\\version\\Zelvar Arena 1.0 win-x86 Oct 24 2003"
                                 f"\\g_weaponDisable\\524279\n0 0 \"p\"\n".encode(), sender)
                continue
            if words[0] != "rcon":
                continue
            now = time.monotonic()
            if now - self.last_rcon < 0.5:
                self.dropped += 1
                continue
            self.last_rcon = now
            self.rcon_seen += 1
            if words[1].encode("latin-1") != self.password:
                self.print(sender, "Bad rconpassword.\n")
                continue
            self.forger.sendto(OOB + b'print\nzv_teamLock "999"\n', sender)
            self.answer(sender, words[2:])

    def answer(self, to, command):
        if command[:1] == ["cvarlist"] and command[1] == "zv_":
            self.print(to, *[f"S   Cvar ^3{n}^7 = \"^7{v}^7\", default = \"^70^7\"\n"
                             for n, v in self.held.items() if n.startswith("zv_")],
                       "\n2 total cvars\n")
        elif command[:1] == ["cvarlist"] and command[1] in self.held:
            n = command[1]
            self.print(to, f'"{n}" is:"{self.held[n]}^7" default:"0^7"\n'
                       + (f'latched: "{self.latched[n]}"\n' if n in self.latched else ""))
        elif command[:1] == ["cvarlist"]:
            self.print(to, "\n0 total cvars\n")
        elif command[:1] == ["set"] and command[1] in self.read_only:
            self.print(to, f"{command[1]} is ^1read only^7.\n")
        elif command[:1] == ["set"] and command[1] in self.latched:
            self.latched[command[1]] = command[2]
            self.print(to, f"{command[1]} will be changed upon restarting.\n")
        elif command[:1] == ["set"]:
            self.held[command[1]] = command[2]
            self.print(to)
        else:  # an engine's print of nothing, as for a command it does not have
            self.print(to)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop = True
        self.sock.close()
        self.forger.close()


def start_engine(folder, password, engine_path=None):
    game = os.path.join(folder, "g")
    os.makedirs(game, exist_ok=True)
    os.symlink("/usr/share/games/openarena/baseoa/pak1-maps.pk3", os.path.join(game, "m.pk3"))
    engine_path = engine_path or ENGINE
    os.symlink(os.path.join(os.path.dirname(engine_path), "baseq3", "qagamex86_64.so"),
               os.path.join(game, "qagamex86_64.so"))
    with open(os.path.join(game, "default.cfg"), "w") as f:
        f.write("set x 1\n")
    with open(os.path.join(folder, "pw.cfg"), "w") as f:  # not on the engine's command line
        f.write(f'set rconpassword "{password}"\n')
    os.symlink(os.path.join(folder, "pw.cfg"), os.path.join(game, "pw.cfg"))
    port = random.randint(20000, 60000)
    options = (f"+set com_standalone 1 +set com_basegame g +set fs_basepath {folder} "
               f"+set fs_homepath {folder}/h +set dedicated 1 +set ttycon 0 "
               f"+set net_ip 127.0.0.1 +set net_port {port} +set net_enabled 1 +exec pw.cfg "
               "+set sv_pure 0 +set vm_game 0 +set zv_teamLock 20 +sets g_weaponDisable 40 "
               "+map oa_dm1")
    log = open(os.path.join(folder, "log"), "w+")
    engine = subprocess.Popen([engine_path, *options.split()], stdin=subprocess.DEVNULL, stdout=log,
                              stderr=subprocess.STDOUT)
    probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    probe.connect(("127.0.0.1", port))
    probe.settimeout(0.5)
    for _ in range(40):  # 20 s at most
        try:
            probe.send(OOB + b"getinfo x")
            if probe.recv(65536).startswith(OOB + b"infoResponse"):
                return engine, port, probe, log
        except (socket.timeout, ConnectionRefusedError):
            time.sleep(0.5)
    engine.kill()
    sys.exit("the engine did not start:\n" + open(log.name).read())


def rcon(probe, password, command):
    # Read here, independently of zelvar-bits, after the server's pacing.
    time.sleep(1.1)
    probe.send(OOB + f"rcon {password} {command}".encode())
    return probe.recv(65536)[len(OOB) + 6:].decode()


def check(what, ok, run_=None):
    if not ok:
        extra = f"\nstatus {run_.returncode}\n{run_.stdout}\n{run_.stderr}" if run_ else ""
        sys.exit(f"FAIL: {what}{extra}")
    print(f"ok: {what}")


def real_server(password, outputs):
    with tempfile.TemporaryDirectory() as folder:
        engine, port, probe, log = start_engine(folder, password)
        server = f"127.0.0.1:{port}"
        try:
            p = run(["status", server])
            check("status shows the published mask, the rest not published",
                  p.returncode == 0 and "g_weaponDisable 40\n" in p.stdout
                  and p.stdout.count(": not published") == 8, p)
            p = run(["--json", "get", server], password)
            doc = json.loads(p.stdout) if p.returncode == 0 else {}
            values = {s["variable"]: s["value"] for s in doc.get("settings", [])}
            check("get reads every variable the server has",
                  values == {"g_weaponDisable": 40, "zv_teamLock": 20}
                  and doc["server"] == server and len(doc["absent"]) == 7, p)
            outputs.append(p)
            with tempfile.NamedTemporaryFile("w") as wrong:
                wrong.write("not" + password + "\n")
                wrong.flush()
                # The file named goes before the right password in the environment.
                p = run(["get", "--password-file", wrong.name, server], password)
            bad = open(log.name).read().count("Bad rcon")
            check("a wrong password ends at once, after one request; the file named went first",
                  p.returncode == 2 and "Bad rconpassword" in p.stderr and p.seconds < 5
                  and bad == 1 and "the password came from the password file" in p.stderr, p)
            outputs.append(p)
        finally:
            engine.kill()
            engine.wait(10)
            probe.close()


def scripted_server(password, outputs):
    with Scripted(password) as s:
        server = f"127.0.0.1:{s.port}"
        p = run(["--json", "status", server])
        check("status takes no forged reply", p.returncode == 0 and '"text":"524279"' in p.stdout
              and '"not_published":["g_forcePowerDisable"' in p.stdout, p)
        outputs.append(p)
        p = run(["get", server], password)
        check("get reads split replies in other forms, colours stripped, latched told apart",
              p.returncode == 0 and "zv_teamLock 20\n" in p.stdout
              and "zv_votesDisable 0\n" in p.stdout and "999" not in p.stdout
              and 'note: takes effect at the next map: "40"' in p.stdout, p)
        outputs.append(p)
        p = run(["send", server, "zv_votesDisable 4", "zv_teamLock 4", "g_weaponDisable 8"],
                password)
        check("send says what each value became; the status follows the worst",
              p.returncode == 1 and p.stdout ==
              'zv_votesDisable 4: refused: "zv_votesDisable is read only."\n'
              "zv_teamLock 4: applied\n"
              "g_weaponDisable 8: takes effect at the next map\n", p)
        outputs.append(p)
        p = run(["send", server, "zv_teamLock 5"], password)
        check("a value the calculator would not write is never sent",
              p.returncode == 1 and s.rcon_seen == 10, p)
    with Scripted(password) as v4, tempfile.TemporaryDirectory() as folder:
        # A name with ::1 first, then 127.0.0.1, in a hosts file of its own
        # for this run alone; the server listens on 127.0.0.1 only.
        with open(os.path.join(folder, "hosts"), "w") as hosts:
            hosts.write("::1 both.test\n127.0.0.1 both.test\n")
        with open(os.path.join(folder, "password"), "w", newline="") as crlf:
            crlf.write(password + "\r\n")
        p = run(["get", "--password-file", crlf.name, f"both.test:{v4.port}"],
                via=["unshare", "--mount", "sh", "-c",
                     'mount --bind "$0" /etc/hosts && exec "$@"', hosts.name])
        check("a name with both kinds of address is reached over IPv4; a CRLF password file",
              p.returncode == 0 and "zv_teamLock 20\n" in p.stdout, p)
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "servers.toml"), "w") as f:
            f.write('[servers.duel]\naddress = "127.0.0.1:9"\n')
        trace = os.path.join(folder, "trace")
        no_leak_check = "ASAN_OPTIONS=" + os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        p = run(["--servers", f.name, "get", "dule"], password,  # no leak checker under ptrace
                via=["env", no_leak_check, "strace", "-f", "-e", "trace=socket,connect", "-o", trace])
        check("a mistyped name, a password at hand: refused, no socket opened, nothing looked up",
              p.returncode == 2 and "did you mean duel?" in p.stderr
              and "socket(" not in open(trace).read(), p)
    with Scripted(password, host="::1") as v6:
        p = run(["get", f"[::1]:{v6.port}"], password)
        check("get over IPv6", p.returncode == 0 and "zv_teamLock 20\n" in p.stdout, p)
    with Scripted(password, silent=True) as silent:
        p = run(["get", f"127.0.0.1:{silent.port}"], password)
        check("silence ends in \"no reply\" within 15 s",
              p.returncode == 2 and "no reply" in p.stderr and p.seconds < 15, p)


def fleet(outputs):
    # Two real servers named in a servers file, each with its configuration
    # in its game folder (so that the engine can read it back) and its own
    # password file.
    with tempfile.TemporaryDirectory() as folder:
        engines, lines = {}, []
        for name in ("ffa", "duel"):
            password = secrets.token_hex(6)
            engines[name] = start_engine(os.path.join(folder, name), password) + (password,)
            config = os.path.join(folder, name, "g", "server.cfg")
            with open(config, "w") as f:
                f.write("seta zv_teamLock 20\nseta g_weaponDisable 40\n")
            with open(os.path.join(folder, name + ".pw"), "w") as f:
                f.write(password + "\n")
            os.chmod(os.path.join(folder, name + ".pw"), 0o600)
            # The engine's search path: the home folder's game folder first.
            home, base = (os.path.join(folder, name, *p) for p in (("h", "g"), ("g",)))
            lines.append(f'[servers.{name}]\naddress = "127.0.0.1:{engines[name][1]}"\n'
                         f'configuration = "{config}"\npassword_file = "{name}.pw"\n'
                         f'groups = ["clan"]\ngame_dir = ["{home}", "{base}"]\n')
        silent = Scripted("", silent=True)  # in @all alone
        lines.append(f'[servers.silent]\naddress = "127.0.0.1:{silent.port}"\n'
                     'password_file = "duel.pw"\n')
        with open(os.path.join(folder, "servers.toml"), "w") as f:
            f.write("\n".join(lines))
        via = ["env", "ZELVAR_SERVERS=" + os.path.join(folder, "servers.toml")]

        def run_(args):  # today's engines take ten requests from an address, then one a second
            time.sleep(4)
            return run(args, via=via)

        def held(name, config=False):  # read here, over the wire; the engine reads the file
            probe, password = engines[name][2], engines[name][4]
            if config:
                rcon(probe, password, "exec server.cfg")
            return re.search(r'zv_teamLock "(\d+)"', rcon(probe, password, "cvarlist zv_"))[1]
        try:
            rcon(engines["ffa"][2], engines["ffa"][4], "set zv_teamLock 16")
            p = run_(["check", "@clan"])
            check("check: a value changed live differs, on that server alone",
                  p.returncode == 1 and 'differs: the configuration "20"' in p.stdout
                  and p.stdout.index("differs") < p.stdout.index("server duel"), p)
            p = run_(["sync", "--to-server", "ffa,duel"])
            check("sync --to-server sends the configuration's value",
                  p.returncode == 0 and held("ffa") == "20", p)
            p = run_(["--json", "apply", "@clan", "zv_teamLock 4"])
            docs = json.loads(p.stdout) if p.stdout.startswith("[") else []
            check("apply: both configurations and both servers at 4, read back by the engine",
                  p.returncode == 0 and [d["sent"][0]["outcome"] for d in docs]
                  == ["applied", "applied"] and all(d["written"] for d in docs)
                  and [held(n, config=n == "duel") for n in ("ffa", "duel")] == ["4", "4"], p)
            outputs.append(p)
            rcon(engines["duel"][2], engines["duel"][4], "set zv_teamLock 16")
            with open(os.path.join(folder, "duel", "g", "server.cfg"), "w") as f:
                f.write("seta zv_teamLock 4\n")
            p = run_(["--json", "check", "duel"])
            doc = json.loads(p.stdout) if p.stdout.startswith("{") else {"verdicts": []}
            lock = [v for v in doc["verdicts"] if v["variable"] == "zv_teamLock"] or [{}]
            check("check: a value changed in the file differs",
                  p.returncode == 1 and doc["exit_status"] == 1 and {
                      "verdict": "differs", "configured": "4", "live": "16"}.items()
                  <= lock[0].items(), p)
            outputs.append(p)
            os.chmod(os.path.join(folder, "ffa.pw"), 0o644)
            p = run_(["get", "ffa"])
            check("a password file others may read is refused",
                  p.returncode == 2 and "may be read by others" in p.stderr, p)
            os.chmod(os.path.join(folder, "ffa.pw"), 0o600)
            os.chmod(os.path.join(folder, "servers.toml"), 0o666)
            p = run_(["get", "ffa"])
            check("a servers file others may write is refused, as ssh refuses such a config",
                  p.returncode == 2 and "may be written by others" in p.stderr, p)
            os.chmod(os.path.join(folder, "servers.toml"), 0o644)
            engines["ffa"][0].kill()
            engines["ffa"][0].wait(10)
            p = run_(["send", "@all", "zv_teamLock 20"])
            check("one server stopped, one silent: the other is still done, the status the worst",
                  p.returncode == 2 and p.stderr.count("no reply") == 1
                  and f"nothing listens on 127.0.0.1:{engines['ffa'][1]}" in p.stderr
                  and "zv_teamLock 20: applied" in p.stdout and held("duel") == "20", p)
            p = run_(["--json", "get", "@all"])
            docs = json.loads(p.stdout) if p.stdout.startswith("[") else []
            check("JSON: a document for every server, in order, a failed one with its error",
                  p.returncode == 2 and [d["server"].split()[0] for d in docs]
                  == ["ffa", "duel", "silent"] and docs[0]["error"].startswith("nothing listens")
                  and docs[2]["error"].startswith("no reply") and docs[2]["exit_status"] == 2
                  and "settings" in docs[1], p)
            outputs.append(p)
            # A file in the home folder shadows the one beside server.cfg.
            home, base = (os.path.join(folder, "duel", *p) for p in (("h", "g"), ("g",)))
            os.makedirs(home, exist_ok=True)
            for at in (home, base):
                with open(os.path.join(at, "zv.cfg"), "w") as f:
                    f.write("seta zv_teamLock 2\n")
            with open(os.path.join(base, "server.cfg"), "a") as f:
                f.write("exec zv\n")
            p = run_(["apply", "duel", "zv_teamLock 16"])
            check("apply writes the file the engine's search path finds first",
                  p.returncode == 0 and held("duel", config=True) == "16"
                  and open(os.path.join(base, "zv.cfg")).read() == "seta zv_teamLock 2\n", p)
            # Without game_dir the server names its folders; with a wrong one
            # its "which" tells another file, and nothing is written.
            port, config = engines["duel"][1], os.path.join(base, "server.cfg")
            with open(os.path.join(folder, "servers.toml"), "w") as f:
                f.write("".join(f'[servers.{n}]\naddress = "127.0.0.1:{port}"\n'
                                f'configuration = "{config}"\npassword_file = "duel.pw"\n{dirs}\n'
                                for n, dirs in (("asked", ""), ("beside", f'game_dir = "{base}"'))))
            p = run_(["check", "asked"])
            check("check: without game_dir, the server's own folders are searched",
                  'zv_teamLock: in step ("16")' in p.stdout
                  and "the server's own folders" in p.stdout + p.stderr, p)
            p = run_(["apply", "beside", "zv_teamLock 8"])
            check("apply: the server reads zv.cfg from its home folder: nothing written or sent",
                  p.returncode == 2 and f'reads zv.cfg from "{home}/zv.cfg"' in p.stdout + p.stderr
                  and open(os.path.join(base, "zv.cfg")).read() == "seta zv_teamLock 2\n"
                  and held("duel") == "16", p)
            outputs.append(p)
        finally:
            silent.__exit__()
            for engine, _, probe, _, _ in engines.values():
                engine.kill()
                engine.wait(10)
                probe.close()


def contract(outputs):
    # Keys written by each command that writes JSON...
    with tempfile.NamedTemporaryFile("w", suffix=".cfg") as cfg:
        cfg.write("seta zv_teamLock 5\nexec missing\nseta zv_teamLock 4\n")
        cfg.flush()
        swallowed = os.path.join(os.path.dirname(os.path.abspath(__file__)), "data", "swallowed.cfg")
        runs = [run(["--json", "decode", "zv_teamLock 5", "zv_teamLock 4"]),
                run(["--json", "explain", cfg.name]), run(["--json", "explain", swallowed]),
                run(["--json", "list"])]
        check("the status follows the worst of several values, not the last",
              [r.returncode for r in runs] == [1, 1, 1, 0]
              and run(["decode", "zv_teamLock 4", "zv_teamLock 5"]).returncode == 1)
        runs.append(run(["--json", "set", "--dry-run", cfg.name, "zv_teamLock 8"]))
    written = {k for r in runs + outputs for k in re.findall(r'"([a-z_]+)":', r.stdout)}
    # ...against the keys the man page documents, and the words that are not keys.
    page = open(MAN).read()
    section = page[page.index(".SH JSON"):page.index(".SH EXIT STATUS")]
    documented = set(re.findall(r"^\.BR? ([a-z_]+)", section, re.M))
    # ("check" is a key too: the calculator's boxes to check.)
    documented -= {"decode", "encode", "explain", "list", "set", "status", "get", "send", "apply",
                   "sync", "checked", "unchecked"}
    check(f"every key written is documented: {sorted(written - documented)}",
          written <= documented)
    check(f"every key documented is written: {sorted(documented - written)}",
          documented <= written)


def main():
    password = secrets.token_hex(8)
    outputs = []
    scripted_server(password, outputs)
    real_server(password, outputs)
    fleet(outputs)
    contract(outputs)
    check("the password is in no argument and no byte printed",
          all(password not in o.stdout + o.stderr + " ".join(o.args) for o in outputs))


if __name__ == "__main__" and sys.argv[1:] == ["serve"]:
    s = Scripted(os.environ["ZELVAR_RCON_PASSWORD"])
    print(s.port, flush=True)
    threading.Timer(300, os._exit, [0]).start()  # never outlives a test gone astray
    sys.stdin.read()
    os._exit(0)
elif __name__ == "__main__":
    BITS, ENGINE, MAN = sys.argv[1:4]
    main()
