#!/usr/bin/env python3
"""The reader against a real engine of the game's family: random configurations
built from the pieces that trip readers up, each run by the engine's console
and read by zelvar-bits; for each of the nine variables the value the engine
ends with must be the value of the last setting that zelvar-bits reports as
applied. ZELVAR_SEED=<seed> replays a run; the seed is printed either way.

usage: console.py ZELVAR_BITS ENGINE [COUNT]"""
import json
import os
import random
import re
import subprocess
import sys
import tempfile
import time

BITS, ENGINE = sys.argv[1], sys.argv[2]
COUNT = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
BATCH = 100  # configurations a run of the engine; its command buffer holds 128 KiB
CLOSER = '*/"*/'  # ends a comment left open after either count of quotes

NAMES = [v for g in json.loads(subprocess.run([BITS, "--json", "list"], check=True,
                                              capture_output=True).stdout)["groups"]
         for v in g["variables"]]
PIECES = (['"', '"', ";", "//", "/*", "*/", "/*/", "\r", "\r\n", "\n", "\n", " ", " ", "\t",
           "4", "40", "12abc", "-1", "0", '"8"', '" 4"', '""', "foo", "sv_hostname", "x;y",
           '/* keep the "old value */', "seta", "set", "SETA", "sets", "setu"]
          + NAMES + [n.upper() for n in NAMES[:2]])


def configuration(rnd):
    """Lines of settings, most plain, with tricky pieces strewn among them."""
    out = []
    for _ in range(rnd.randint(1, 12)):
        if rnd.random() < 0.5:
            out.append(" ".join([rnd.choice(["seta", "set", ""]), rnd.choice(NAMES),
                                 rnd.choice(["4", '"40"', "12 34", '"1 2" 3'])]))
        for _ in range(rnd.randint(0, 6)):
            out.append(rnd.choice(PIECES) + rnd.choice(["", " "]))
        if rnd.random() < 0.03:  # past the 1023 bytes the console keeps of a command
            out.append(rnd.choice(["x", " ", "ab "]) * rnd.randint(300, 1100))
        out.append(rnd.choice(["\n", "\n", "\r\n", ";"]))
    return "".join(out)


def engine(texts, folder):
    """The nine values the engine holds after running each text in turn."""
    game = os.path.join(folder, "g")
    os.makedirs(game)
    for reset in ("default.cfg", "r.cfg"):  # the engine wants the first; both make the nine
        with open(os.path.join(game, reset), "w") as f:
            f.writelines(f'set {n} "unset"\n' for n in NAMES)
    driver = []
    for i, text in enumerate(texts):
        with open(os.path.join(game, f"t{i}.cfg"), "w", newline="") as f:
            f.write(text)
        driver += ["exec r.cfg", f"exec t{i}.cfg", CLOSER, f"echo @@{i}"] + NAMES
    with open(os.path.join(game, "d.cfg"), "w") as f:
        f.write("\n".join(driver + ["echo @@end", "quit", ""]))
    options = {"com_standalone": "1", "com_basegame": "g", "fs_basepath": folder,
               "fs_homepath": os.path.join(folder, "h"), "dedicated": "1", "ttycon": "0",
               "net_enabled": "0"}
    run = subprocess.run([ENGINE] + [w for k, v in options.items() for w in ("+set", k, v)]
                         + ["+exec", "d.cfg"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, timeout=60)
    output = run.stdout.decode("latin-1")
    if "@@end" not in output:
        sys.exit(f"the engine did not run the whole batch:\n{output[-2000:]}")
    values = []
    for part in re.split(r"@@\d+\n", output)[1:]:
        found = {}  # the queries come first; what the next text prints follows them
        for name, value in re.findall(r'"(\w+)" is:"(.*?)\^7"', part, re.S):
            found.setdefault(name, value)
        values.append({n: found.get(n, "?") for n in NAMES})
    return values


def reader(text):
    """The nine values as zelvar-bits reads the text: each one's last applied setting."""
    run = subprocess.run([BITS, "--json", "explain"], input=text.encode("latin-1"),
                         capture_output=True, timeout=10)
    values = {n: "unset" for n in NAMES}
    for s in json.loads(run.stdout)["settings"]:
        if s["applied"] and not any(p.startswith("no value") for p in s["problems"]):
            values[s["variable"]] = s["text"]
    return values


def main():
    seed = int(os.environ.get("ZELVAR_SEED", time.time_ns() % 1_000_000_007))
    print(f"console: seed {seed} (ZELVAR_SEED={seed} replays it), {COUNT} configurations")
    rnd = random.Random(seed)
    texts = [configuration(rnd) for _ in range(COUNT)]
    failures = 0
    with tempfile.TemporaryDirectory() as folder:
        for start in range(0, COUNT, BATCH):
            batch = texts[start:start + BATCH]
            for text, held in zip(batch, engine(batch, os.path.join(folder, str(start)))):
                # The engine's buffer holds the text, the line end exec adds, then the closer.
                read = reader(text + "\n" + CLOSER + "\n")
                if read != held and failures < 5:
                    print(f"differs: {text!r}\n  engine: {held}\n  reader: {read}")
                failures += read != held
    print(f"{COUNT - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
