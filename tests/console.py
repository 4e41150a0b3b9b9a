#!/usr/bin/env python3
# The reader against a real engine of the game's family: random configurations
# built from the pieces that trip readers up, each run by the engine's console
# and read by zelvar-bits; for each of the nine variables the value the engine
# ends with must be the value of the last setting that zelvar-bits reports as
# applied. Then `zelvar-bits set` writes a random value into a share of them:
# the engine must end with it for that variable and with its old value for every
# other, the bytes outside the value must stay, and setting it again must write
# nothing. ZELVAR_SEED=<seed> replays a run; the seed is printed either way.
#
# usage: console.py ZELVAR_BITS ENGINE [COUNT [EDITED]]
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

BITS, ENGINE = sys.argv[1], sys.argv[2]
COUNT = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
EDITED = int(sys.argv[4]) if len(sys.argv) > 4 else COUNT // 4
BATCH = 100  # configurations a run of the engine; its command buffer holds 128 KiB
TREES = 60  # trees of files that exec one another, run in one batch
CLOSER = '*/"*/'  # ends a comment left open after either count of quotes
# A command that a comment runs through a closer may exec a file that opens
# another: after the text, a closer for each file a tree may hold.
CLOSERS = (CLOSER + "\n") * 4

GROUPS = json.loads(subprocess.run([BITS, "--json", "list"], check=True,
                                   capture_output=True).stdout)["groups"]
NAMES = [v for g in GROUPS for v in g["variables"]]
PIECES = (['"', '"', ";", "//", "/*", "*/", "/*/", "\r", "\r\n", "\n", "\n", " ", " ", "\t",
           "4", "40", "12abc", "-1", "0", '"8"', '" 4"', '""', "foo", "sv_hostname", "x;y",
           '/* keep the "old value */', "seta", "set", "SETA", "sets", "setu",
           "\xa0", "\xe9", "zv_", "g_f", '"zv_foo"', '"g_weaponDisable 8; zv_teamLock 4"']
          + NAMES + [n.upper() for n in NAMES[:2]])


def ascii_only(value):
    # A byte above 0x7F reaches the engine's print and the reader's JSON in
    # other forms; where it splits words, the words around it tell.
    return "".join(c for c in value if ord(c) < 128)


FOUND = [
    '/*524287set d1 "g_fraglimit 20; zv_teamLock 8" "/* x */ /* x */ \xa0"a;b" ; zv_teamLock '
    'ZV_WORDFILTER*//* x */ "4 0" Â\xa0 exec other.cfg "a;b"12abcseta 40 x//y setu // note ; '
    'seta zv_teamLock 6;exec other.cfg bind x "seta g_weaponDisable 8" setbind x "seta '
    'g_weaponDisable 8"set d1 "g_fraglimit 20; zv_teamLock 8"x "zv_teamLock"ZV_WORDFILTER40x'
    '"40" setax//ysv_hostname\n ',
    'bind x "seta g_weaponDisable 8" g_weaponDisable/* echo  \n\r\nzv_knightAllowedCMD"40 \r\n'
    '*/seta"//"  \t524287 echosv_hostname"//"setu rconsv_hostname/*// note ; seta zv_teamLock '
    '6 \tzv_teamLock+7 /* x */zv_teamLock rconsv_hostname 12abc seta setu say "zv_teamLock 4"'
    'ZV_WORDFILTERbind x "seta g_weaponDisable 8" set d1 "g_fraglimit 20; zv_teamLock 8" ',
]


def configuration(rnd, long_lines=True):
    # Lines of settings, most plain, with tricky pieces strewn among them.
    out = []
    for _ in range(rnd.randint(1, 12)):
        if rnd.random() < 0.5:
            out.append(" ".join([rnd.choice(["seta", "set", ""]), rnd.choice(NAMES),
                                 rnd.choice(["4", '"40"', "12 34", '"1 2" 3'])]))
        for _ in range(rnd.randint(0, 6)):
            out.append(rnd.choice(PIECES) + rnd.choice(["", " "]))
        if long_lines and rnd.random() < 0.03:  # past the 1023 bytes the console keeps
            out.append(rnd.choice(["x", " ", "ab "]) * rnd.randint(300, 1100))
        out.append(rnd.choice(["\n", "\n", "\r\n", ";"]))
    text = "".join(out)
    # The engine prints a high byte as two, and so cuts what it prints of a
    # command near its 1023 bytes short: high bytes only in shorter texts.
    return text if len(text) < 900 else "".join(c for c in text if ord(c) < 128)


def engine(texts, folder, files=None):
    # The nine values the engine holds after running each text in turn;
    # `files` are more files of the game's folder, by name, for exec.
    game = os.path.join(folder, "g")
    os.makedirs(os.path.join(game, "sub"))
    # Written as the reader is given them: a character a byte.
    for name, text in (files or {}).items():
        with open(os.path.join(game, name), "w", encoding="latin-1", newline="") as f:
            f.write(text)
    for reset in ("default.cfg", "r.cfg"):  # the engine wants the first; both make the nine
        with open(os.path.join(game, reset), "w") as f:
            f.writelines(f'set {n} "unset"\n' for n in NAMES)
    driver = []
    for i, text in enumerate(texts):
        with open(os.path.join(game, f"t{i}.cfg"), "w", encoding="latin-1", newline="") as f:
            f.write(text)
        driver += ["exec r.cfg", f"exec t{i}.cfg", CLOSERS + f"echo @@{i}"] + NAMES
    with open(os.path.join(game, "d.cfg"), "w") as f:
        f.write("\n".join(driver + ["echo @@end", "quit", ""]))
    options = (f"+set com_standalone 1 +set com_basegame g +set fs_basepath {folder} +set "
               f"fs_homepath {folder}/h +set dedicated 1 +set ttycon 0 +set net_enabled 0")
    run = subprocess.run([ENGINE, *options.split(), "+exec", "d.cfg"], stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    output = run.stdout.decode("utf-8", errors="replace")  # it prints a high byte as UTF-8
    if "@@end" not in output:
        sys.exit(f"the engine did not run the whole batch:\n{output[-2000:]}")
    values = []
    for part in re.split(r"@@\d+\n", output)[1:]:
        found = {}  # the queries come first; what the next text prints follows them
        for name, value in re.findall(r'"(\w+)" is:"(.*?)\^7"', part, re.S):
            found.setdefault(name, value)
        values.append({n: ascii_only(found.get(n, "?")) for n in NAMES})
    return values


def reader(text, game=None):
    # The nine values as zelvar-bits reads the text: each one's last applied setting.
    run = subprocess.run([BITS, "--json", "explain", "--running", "--game-dir", game or ".", "-"],
                         input=text.encode("latin-1"), capture_output=True, timeout=10)
    values = {n: "unset" for n in NAMES}
    for s in json.loads(run.stdout)["settings"]:
        if s["applied"] and not any(p.startswith("no value") for p in s["problems"]):
            values[s["variable"]] = ascii_only(s["text"])
    return values


def edited(text, rnd, folder):
    # A value written into the text by zelvar-bits set: the change asked for,
    # the new text, and what is wrong with it; none when set refused.
    if reader(text) != reader(text + "\n" + CLOSER + "\n"):
        return None  # it ends in an open comment, which the engine's closer would end
    group = rnd.choice(GROUPS)
    name = rnd.choice(group["variables"])
    value = str(sum(o["value"] for o in group["options"] if rnd.random() < 0.5))
    path = os.path.join(folder, "edited.cfg")
    with open(path, "wb") as f:
        f.write(text.encode("latin-1"))
    def set_value():
        return subprocess.run([BITS, "set", "--running", path, f"{name} {value}"],
                              capture_output=True, timeout=10)
    status = set_value().returncode
    with open(path, "rb") as f:
        after = f.read().decode("latin-1")
    if status == 1 and after == text:
        return None  # refused, untouched: a value the server takes from several words, say
    if reader(after) != reader(after + "\n" + CLOSER + "\n"):
        return None  # a line added inside a comment the file leaves open: the closer would move it
    again = set_value().stdout.decode()
    head = len(os.path.commonprefix([text, after]))
    tail = len(os.path.commonprefix([text[head:][::-1], after[head:][::-1]]))
    was, now = text[head:len(text) - tail], after[head:len(after) - tail]
    replaced = (now.isdigit() or not now) and not any(c in was + now for c in "\r\n")
    added = after.startswith(text) and now.endswith("\n")
    wrong = [why for why, bad in (
        (f"status {status}", status != 0),
        ("bytes beyond the value changed", not (replaced or added)),
        ("a second set wrote", not again.endswith(": unchanged\n"))) if bad]
    return name, value, after, wrong


def tree(rnd, i):
    # Two to four files that exec one another, later ones only (so no loop),
    # with and without ".cfg", one in a subfolder, now and then a missing one,
    # one outside the game's folder, and a NUL byte in one exec'd.
    names = [f"t{i}_{j}" + rnd.choice(["", ".cfg"]) if j else f"t{i}_0.cfg"
             for j in range(rnd.randint(2, 4))]
    names = [("sub/" + n if j == len(names) - 1 and rnd.random() < 0.5 else n)
             for j, n in enumerate(names)]
    files = {}
    for j, name in enumerate(names):
        text = configuration(rnd)
        if j and rnd.random() < 0.2:
            at = rnd.randint(0, len(text))
            text = text[:at] + "\0" + text[at:]
        for later in names[j + 1:] + ["missing", "../outside"]:
            if rnd.random() < 0.7:
                line = rnd.choice(["exec {}\n", "exec \"{}\" // runs\n", "seta x 1; exec {}\n"])
                at = rnd.choice([0, len(text)])
                text = text[:at] + ("\n" if at else "") + line.format(later) + text[at:]
        files[name if "." in name.split("/")[-1] else name + ".cfg"] = text
    return files


def trees(rnd, folder):
    # The engine runs the first file of each tree; explain follows the execs.
    failures = 0
    batch = [tree(rnd, i) for i in range(TREES)]
    firsts = [files.pop(f"t{i}_0.cfg") for i, files in enumerate(batch)]
    everything = {name: text for files in batch for name, text in files.items()}
    everything["sub/../../outside.cfg"] = "seta zv_teamLock 77\n"  # the engine opens no ".." 
    held = engine(firsts, os.path.join(folder, "trees"), everything)
    game = os.path.join(folder, "trees", "g")
    for first, files, values in zip(firsts, batch, held):
        read = reader(first + "\n" + CLOSERS, game)
        if read != values and failures < 5:
            print(f"a tree differs: {first!r} with {files!r}\n  engine: {values}\n  reader: {read}")
        failures += read != values
    # set writes into whichever file holds the setting that takes effect:
    # the engine then reads the new value, every other as it was, or
    # nothing was written.
    def now(name):
        with open(os.path.join(game, name), encoding="latin-1", newline="") as f:
            return f.read()
    wanted = []
    for i, (first, values) in enumerate(zip(firsts[:TREES // 3], held)):
        if reader(first, game) != reader(first + "\n" + CLOSER + "\n", game):
            continue  # it ends in an open comment, which the engine's closer would end
        group = rnd.choice(GROUPS)
        name = rnd.choice(group["variables"])
        value = str(sum(o["value"] for o in group["options"] if rnd.random() < 0.5))
        path = os.path.join(game, f"t{i}.cfg")
        run = subprocess.run([BITS, "set", "--running", path, f"{name} {value}"],
                             capture_output=True, timeout=10, encoding="latin-1")
        if run.returncode == 0 and reader(now(f"t{i}.cfg"), game) == \
                reader(now(f"t{i}.cfg") + "\n" + CLOSER + "\n", game):
            wanted.append((i, dict(values, **{name: value}), run.stdout))
    after = engine([now(f"t{i}.cfg") for i, _, _ in wanted], os.path.join(folder, "set"),
                   {name: now(name) for name in everything})
    for (i, values, diff), read in zip(wanted, after):
        if read != values and failures < 5:
            print(f"set in tree {i}: {diff}\n  wanted: {values}\n  engine: {read}")
        failures += read != values
    # A file that execs itself through another ends at once, named.
    for name, text in (("a.cfg", "seta zv_teamLock 4\nexec b\n"), ("b.cfg", "exec a.cfg\n")):
        with open(os.path.join(game, name), "w") as f:
            f.write(text)
    run = subprocess.run([BITS, "explain", "--running", os.path.join(game, "a.cfg")],
                         capture_output=True, timeout=5, text=True)
    if run.returncode != 1 or 'exec loop: "' not in run.stdout or '"b.cfg" \u2192 "a.cfg" again' \
            not in run.stdout:
        print(f"a loop: status {run.returncode}, {run.stdout}")
        failures += 1
    return failures


# As the server starts: the game's own variables stand in for the nine, since
# its module makes them at its first map as the modification's makes its own.
STAND_INS = ["g_speed", "g_knockback", "g_quadfactor", "g_weaponrespawn", "g_forcerespawn",
             "g_inactivity", "g_weaponTeamRespawn", "g_teamForceBalance", "g_allowVote"]
MAPS = "/usr/share/games/openarena/baseoa/pak1-maps.pk3"
STARTS = 40
NAMES_IGNORED = ["zv_teamLock", "g_weaponDisable"]  # the first text's, before its map


def for_engine(text):
    for name, stand_in in zip(NAMES, STAND_INS):
        text = re.sub(re.escape(name), stand_in, text, flags=re.IGNORECASE)
    return text


def answers(folder, command_line, more=()):
    # What the engine prints, started standalone on `folder` (its game "g",
    # its home "h") with `command_line`, for the stand-ins and `more` typed.
    options = (f"+set com_standalone 1 +set com_basegame g +set fs_basepath {folder} "
               f"+set fs_homepath {folder}/h +set dedicated 1 +set ttycon 0 +set net_enabled 0 "
               + command_line).split()
    queries = "".join(f"{q}\n" for q in (*STAND_INS, *more)) + "quit\n"
    run = subprocess.run([ENGINE, *options], input=queries.encode(), capture_output=True,
                         timeout=30)
    return (run.stdout + run.stderr).decode()


def started(text, folder, command_line, autoexec=""):
    # What the engine runs once started with `command_line`, server.cfg
    # holding `text` and autoexec.cfg `autoexec`.
    game = os.path.join(folder, "g")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(game)
    os.symlink(MAPS, os.path.join(game, "m.pk3"))
    os.symlink(os.path.join(os.path.dirname(ENGINE), "baseq3", "qagamex86_64.so"),
               os.path.join(game, "qagamex86_64.so"))
    with open(os.path.join(game, "default.cfg"), "w") as f:
        f.write("set x 1\n")
    for name, content in (("server.cfg", text), ("autoexec.cfg", autoexec)):
        with open(os.path.join(game, name), "w", newline="") as f:
            f.write(for_engine(content))
    output = answers(folder, "+set vm_game 0 +set sv_pure 0 " + for_engine(command_line))
    found = dict(re.findall(r'"(\w+)" is:"(.*?)\^7"', output))
    # A variable no map made and no set made is no variable: "?".
    return {n: found.get(s, "?") for n, s in zip(NAMES, STAND_INS)}, "InitGame" in output


def start_text(rnd):
    # Bare lines and sets around a map, now and then a rotation that loads it.
    lines = []
    for _ in range(rnd.randint(2, 8)):
        name, value = rnd.choice(NAMES), str(rnd.randint(1, 999))
        lines.append(rnd.choice([f"{name} {value}", f'{name} "{value}"', f"seta {name} {value}",
                                 f"set {name} {value}", f"// {name} 9"]))
    at = rnd.randint(0, len(lines))
    first = rnd.choice(["map oa_dm1", "devmap oa_dm1", "rotation", "none"])
    if first == "rotation":
        inside = f"{rnd.choice(NAMES)} {rnd.randint(1, 999)}"
        lines[at:at] = [f'set d1 "map oa_dm1; {inside}; set nextmap vstr d2"',
                        f'set d2 "map oa_dm1; {rnd.choice(NAMES)} 5"', "vstr d1"]
    elif first != "none":
        lines.insert(at, first)
    return "".join(line + rnd.choice(["\n", "\r\n"]) for line in lines)


def starts(rnd, folder):
    # The value each variable takes as the server starts must be the one the
    # tool reports as taking effect; after set, the engine must start with it.
    failures = 0
    defaults, _ = started("", os.path.join(folder, "engine"), "+exec server.cfg +map oa_dm1")
    for i in range(STARTS):
        text = start_text(rnd) if i else "zv_teamLock 4\ng_weaponDisable 8\nmap oa_dm1\nzv_wordFilter 2\n"
        plus_set = rnd.choice(["", f"+set {rnd.choice(NAMES)} 77 "]) if i else ""
        command_line = plus_set + "+exec server.cfg" + rnd.choice(["", " +map oa_dm1"])
        # The start-up files run before the command line's +exec, after its
        # +set; each on its own, so that a comment left open ends with it.
        autoexec = rnd.choice(["", f"seta {rnd.choice(NAMES)} 66\n",
                               f"seta {rnd.choice(NAMES)} 66\n/* open"]) if i else ""
        path = os.path.join(folder, "server.cfg")
        for name, content in (("server.cfg", text), ("autoexec.cfg", autoexec)):
            with open(os.path.join(folder, name), "w", newline="") as f:
                f.write(content)
        run = subprocess.run([BITS, "--json", "explain", "--command-line", command_line, path],
                             capture_output=True, timeout=10)
        held, loaded = started(text, os.path.join(folder, "engine"), command_line, autoexec)
        read = dict(defaults) if loaded else {n: "?" for n in NAMES}
        doc = json.loads(run.stdout)
        for s in doc["settings"]:
            if s["applied"]:
                read[s["variable"]] = s["text"]
        if not i and (run.returncode != 1 or [s["variable"] for s in doc["settings"]
                                              if s["ignored_at_start"]] != NAMES_IGNORED):
            print(f"the four lines: status {run.returncode}, {doc}")
            failures += 1
        if read != held:
            print(f"as it starts: {text!r} with {command_line!r}, autoexec {autoexec!r}\n"
                  f"  engine: {held}\n"
                  f"  reader: {read}")
            failures += 1
        name = rnd.choice(NAMES)
        value = str(rnd.randint(1, 15) * 2)  # a value every variable takes
        set_run = subprocess.run([BITS, "set", "--command-line", command_line, path,
                                  f"{name} {value}"], capture_output=True, timeout=10, text=True)
        if set_run.returncode != 0:
            continue  # refused: the command line sets it
        def now(name):  # set writes whichever file holds the setting that takes effect
            with open(os.path.join(folder, name), newline="") as f:
                return f.read()
        after, _ = started(now("server.cfg"), os.path.join(folder, "engine"), command_line,
                           now("autoexec.cfg"))
        if after[name] != value:
            print(f"set {name} {value} as it starts: {text!r}\n{set_run.stdout}\n"
                  f"  engine: {after}")
            failures += 1
    return failures


ARCHIVE_TREES = 30


def archives(rnd, folder):
    # Random trees of loose files and archives in the home and installation
    # folders, read by ioquake3 (loose files first): each variable must end
    # as the tool reports, and each file exec'd must be where `which` finds it.
    failures = 0
    home, base = os.path.join(folder, "h", "g"), os.path.join(folder, "g")
    names = [f"c{i}" for i in range(4)]
    for _ in range(ARCHIVE_TREES):
        order = rnd.sample(names, len(names))
        spelled = {n: rnd.choice([n, n.upper()]) + ".cfg" for n in order}
        files = {os.path.join(base, "t.cfg"): "".join(f"exec {spelled[n]}\n" for n in order),
                 os.path.join(base, "default.cfg"): "set x 1\n"}
        packs = {}  # path -> {member: text}
        for n in names:
            for _ in range(rnd.randint(0, 3)):
                line = f"seta {rnd.choice(NAMES)} {rnd.randint(1, 999)}\n"
                d = rnd.choice([home, base])
                if rnd.random() < 0.3:
                    files[os.path.join(d, n + ".cfg")] = line
                else:
                    pack = os.path.join(d, rnd.choice(["pak2.pk3", "pak10.pk3", "zz.pk3", "AA.pk3"]))
                    packs.setdefault(pack, {})[rnd.choice([n + ".cfg", n.upper() + ".CFG"])] = line
        methods = {pack: rnd.choice([zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED]) for pack in packs}

        def write(convert):  # the same tree, in the tool's names or the engine's
            shutil.rmtree(folder, ignore_errors=True)
            for d in (home, base):
                os.makedirs(d)
            for path, text in files.items():
                with open(path, "w") as f:
                    f.write(convert(text))
            for pack, members in packs.items():
                with zipfile.ZipFile(pack, "w", methods[pack]) as z:
                    for member, text in members.items():
                        z.writestr(member, convert(text))
        write(lambda text: text)
        tool = subprocess.run([BITS, "--json", "explain", "--engine", "ioquake3",
                               "--game-dir", home, "--game-dir", base,
                               "--command-line", "+exec t.cfg", os.path.join(base, "t.cfg")],
                              capture_output=True, timeout=10)
        read = {n: "?" for n in NAMES}
        runs = {}
        for s in json.loads(tool.stdout)["settings"]:
            if s["applied"]:
                read[s["variable"]] = s["text"]
            if s["file"]:  # an archive's path and the name inside, or a loose file's path
                runs[os.path.basename(s["file"].split(": ")[-1]).lower()] = \
                    s["file"].split(": ")[0]
        write(for_engine)
        output = answers(folder, "+exec t.cfg", [f"which {spelled[n]}" for n in names])
        found = dict(re.findall(r'"(\w+)" is:"(.*?)\^7"', output))
        held = {n: found.get(s, "?") for n, s in zip(NAMES, STAND_INS)}
        where = {m.group(1).lower(): m.group(3) + ("" if m.group(2) == "in" else "/" + m.group(1))
                 for m in re.finditer(r'File "(.*?)" found (in|at) "(.*?)"', output)}
        wrong = [f"{n} from {runs[n]}, which names {where.get(n)}" for n in runs
                 if runs[n] != where.get(n)]
        if read != held or wrong:
            print(f"archives: {files} {packs}\n  engine: {held} {where}\n"
                  f"  reader: {read} {wrong}")
            failures += 1
    return failures


def main():
    seed = int(os.environ.get("ZELVAR_SEED", time.time_ns() % 1_000_000_007))
    print(f"console: seed {seed} (ZELVAR_SEED={seed} replays it), {COUNT} configurations")
    rnd = random.Random(seed)
    # Texts earlier runs found the reader and the engine to disagree on.
    texts = FOUND + [configuration(rnd) for _ in range(COUNT - len(FOUND))]
    failures = edits = 0
    with tempfile.TemporaryDirectory() as folder:
        for start in range(0, COUNT, BATCH):
            batch = texts[start:start + BATCH]
            for text, held in zip(batch, engine(batch, os.path.join(folder, str(start)))):
                # The engine's buffer holds the text, the line end exec adds, then the closer.
                read = reader(text + "\n" + CLOSERS)
                if read != held and failures < 5:
                    print(f"differs: {text!r}\n  engine: {held}\n  reader: {read}")
                failures += read != held
    with tempfile.TemporaryDirectory() as folder:
        for start in range(0, EDITED, BATCH):
            batch = texts[start:min(start + BATCH, EDITED)]
            changes = [edited(text, rnd, folder) for text in batch]
            done = [(t, c) for t, c in zip(batch, changes) if c]
            edits += len(done)
            before = engine([t for t, _ in done], os.path.join(folder, "before"))
            after = engine([c[2] for _, c in done], os.path.join(folder, "after"))
            for (text, (name, value, new, wrong)), old, held in zip(done, before, after):
                wrong += [] if held == dict(old, **{name: value}) else ["the engine reads"]
                if wrong and failures < 5:
                    print(f"set {name} {value}: {', '.join(wrong)}: {text!r}\n  became {new!r}"
                          f"\n  engine before: {old}\n  engine after: {held}")
                failures += bool(wrong)
            shutil.rmtree(os.path.join(folder, "before"))
            shutil.rmtree(os.path.join(folder, "after"))
    with tempfile.TemporaryDirectory() as folder:
        tree_failures = trees(rnd, folder)
    failures += tree_failures
    start_failures = 0
    if os.path.exists(MAPS):
        with tempfile.TemporaryDirectory() as folder:
            start_failures = starts(rnd, folder)
    else:
        print(f"console: no maps at {MAPS}: the start is not tried")
    failures += start_failures
    with tempfile.TemporaryDirectory() as folder:
        failures += archives(rnd, folder)
    print(f"console: {edits} of {EDITED} edits written, the others refused; {TREES} trees")
    print(f"{COUNT + edits + TREES + 1 + 2 * STARTS + ARCHIVE_TREES - failures} passed, "
          f"{failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
