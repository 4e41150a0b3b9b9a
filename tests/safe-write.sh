#!/usr/bin/env bash
# zelvar-bits set against what can go wrong on a real file system: each fault
# ends with status 2 and a message, the file byte for byte as it was and no
# temporary file beside it; a link's target is replaced, the link kept, and
# so are the target's mode and owner; a file of the server's user, written by
# an admin in its group, keeps its owner, group and mode. Watched by strace, the new bytes reach
# the disk before the rename, from a temporary file in the file's own folder,
# and the folder after it. Usage: safe-write.sh ZELVAR_BITS (as root).
set -euo pipefail
bits=$(realpath "$1")
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
chmod 755 .  # another user's runs reach d/
failures=0 checks=0
fail() { echo "safe-write: $*"; failures=$((failures + 1)); }
# try NAME STATUS SETUP [RUNNER...]: the setup runs in d/, which holds f.cfg.
# Refused, the file is as it was, and a file that was none is none still.
try() {
    local name=$1 expected=$2 setup=$3 status=0 before listing
    shift 3
    checks=$((checks + 1))
    rm -rf d before && mkdir d && echo 'seta g_weaponDisable "8" // the weapons' >d/f.cfg
    (cd d && eval "$setup")
    [[ ! -f d/f.cfg ]] || cp d/f.cfg before
    listing=$(ls -A d)
    "$@" "$bits" set d/f.cfg 'g_weaponDisable 40' >out 2>err || status=$?
    [[ $status == "$expected" && $(ls -A d) == "$listing" && -s $([[ $status == 0 ]] && echo out || echo err) ]] &&
        { [[ $status == 0 ]] || if [[ -f before ]]; then cmp -s before d/f.cfg; else [[ ! -f d/f.cfg ]]; fi; } ||
        fail "$name: status $status, $(cat err)"
}
try "a full disk" 2 "head -c 4000 /dev/zero | tr '\\0' ' ' >>f.cfg" bash -c 'ulimit -f 1; exec "$@"' -
try "a read-only folder" 2 "chown nobody f.cfg; chmod 555 ." \
    setpriv --reuid=nobody --regid=nogroup --clear-groups
try "a dangling link" 2 "rm f.cfg; ln -s gone.cfg f.cfg"
try "a hard link" 2 "ln f.cfg other.cfg"
try "a folder" 2 "rm f.cfg; mkdir f.cfg"
try "a file its owner made read-only" 2 "chmod 444 f.cfg"
try "a binary file" 2 "printf 'seta g_weaponDisable 8\\0\\n' >f.cfg"
try "a folder where an exec'd file should be" 2 "echo 'exec sub' >>f.cfg; mkdir sub.cfg"
# The server's own user may read what the admin cannot: what it sets is unknown.
try "an exec'd file the admin cannot read" 2 \
    "echo 'exec secret' >>f.cfg; echo 'seta g_weaponDisable 2' >secret.cfg; chmod 600 secret.cfg
     chown nobody . f.cfg" setpriv --reuid=nobody --regid=nogroup --clear-groups
grep -q 'cannot read "d/secret.cfg": Permission denied' err || fail "the unread file not named: $(cat err)"
status=0
setpriv --reuid=nobody --regid=nogroup --clear-groups "$bits" explain d/f.cfg >out 2>&1 || status=$?
[[ $status == 2 ]] && grep -q 'what the server sets there is unknown' out ||
    fail "explain of an unread exec'd file: status $status, $(cat out)"
try "a link to a file of another owner and mode" 0 \
    "mv f.cfg t.cfg; ln -s t.cfg f.cfg; chown nobody:nogroup t.cfg; chmod 640 t.cfg"
[[ -L d/f.cfg && $(stat -c '%U:%G %a' d/t.cfg) == 'nobody:nogroup 640' &&
    $(cat d/t.cfg) == 'seta g_weaponDisable "40" // the weapons' ]] ||
    fail "the link, the target's mode or owner, or its bytes changed"
# The server's own files, and the admin another user in its group: a new file
# would be the admin's, so the file's own bytes are rewritten and it stays
# the server's; where no copy can be kept beside it, nothing is written.
admin=(setpriv --reuid=nobody --regid=nogroup --groups=daemon)
theirs="chown daemon:daemon . f.cfg; chmod 660 f.cfg; chmod 2770 ."
try "the server's file, by an admin in its group" 0 "$theirs" "${admin[@]}"
[[ $(stat -c '%U:%G %a' d/f.cfg) == 'daemon:daemon 660' &&
    $(cat d/f.cfg) == 'seta g_weaponDisable "40" // the weapons' ]] && grep -q 'rewritten in place' out ||
    fail "the server's file changed hands: $(stat -c '%U:%G %a' d/f.cfg), $(cat out)"
try "the server's file, no copy can be kept beside it" 2 "$theirs; chmod 750 ." "${admin[@]}"
# 1024 bytes: the copy fits under the limit, the new bytes (one more) do not.
try "the server's file, a disk that fills as it is rewritten" 2 \
    "head -c \$((1024 - \$(stat -c %s f.cfg))) /dev/zero | tr '\\0' ' ' >>f.cfg; $theirs" \
    bash -c 'ulimit -f 1; exec "$@"' - "${admin[@]}"
try "the server's file, which the group may only read" 2 "$theirs; chmod 640 f.cfg" "${admin[@]}"

checks=$((checks + 2))
rm -rf d && mkdir d && echo 'seta g_weaponDisable "8"' >d/f.cfg
ASAN_OPTIONS=${ASAN_OPTIONS:-}:detect_leaks=0 \
    strace -f -e trace=openat,write,fsync,fdatasync,rename,renameat,renameat2 -o trace \
    "$bits" set d/f.cfg 'g_weaponDisable 40' >/dev/null  # no leak checker under ptrace
python3 - trace <<'PY' || fail "the new bytes were not synced, in the file's folder, before the rename"
import re, sys
calls = "".join(line.split(None, 1)[1] + "\n" for line in open(sys.argv[1]).read().splitlines())
sys.exit(0 if re.search(
    r'openat\(AT_FDCWD, "d/(\.f\.cfg\.\w+)", [^)]*O_CREAT[^)]*\) = (\d+)\n(?:write\(\2, .*\n)+'
    r'f(?:data)?sync\(\2\).*\n(?:.*\n)*?rename(?:at2?)?\(.*"d/\1".*"d/f\.cfg".*\n'
    r'(?:.*\n)*?openat\(AT_FDCWD, "d/?",.*O_DIRECTORY.*= (\d+)\nf(?:data)?sync\(\3\)', calls) else 1)
PY
[[ $(cat d/f.cfg) == 'seta g_weaponDisable "40"' ]] || fail "set did not write what it said"
echo "$((checks - failures)) passed, $failures failed"
((failures == 0))
