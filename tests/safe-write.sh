#!/usr/bin/env bash
# zelvar-bits set against what can go wrong on a real file system: each fault
# ends with status 2 and a message, the file byte for byte as it was and no
# temporary file beside it; a link's target is replaced, the link kept, and
# so are the target's mode and owner. Usage: safe-write.sh ZELVAR_BITS (as root).
set -euo pipefail
bits=$(realpath "$1")
cd "$(mktemp -d)"
trap 'rm -rf "$PWD"' EXIT
failures=0
# try NAME STATUS SETUP [RUNNER...]: the setup runs in d/, which holds f.cfg.
try() {
    local name=$1 expected=$2 setup=$3 status=0 before listing
    shift 3
    rm -rf d && mkdir d && echo 'seta g_weaponDisable "8" // the weapons' >d/f.cfg
    (cd d && eval "$setup")
    before=$(cat d/f.cfg 2>/dev/null || true) listing=$(ls -A d)
    "$@" "$bits" set d/f.cfg 'g_weaponDisable 40' >out 2>err || status=$?
    [[ $status == "$expected" && $(ls -A d) == "$listing" && -s $([[ $status == 0 ]] && echo out || echo err) ]] &&
        [[ $status == 0 || $(cat d/f.cfg 2>/dev/null || true) == "$before" ]] ||
        { echo "safe-write: $name: status $status, $(cat err)"; failures=$((failures + 1)); }
}
try "a full disk" 2 "head -c 4000 /dev/zero | tr '\\0' ' ' >>f.cfg" bash -c 'ulimit -f 1; exec "$@"' -
try "a read-only folder" 2 "chown nobody f.cfg; chmod 555 ." \
    setpriv --reuid=nobody --regid=nogroup --clear-groups
try "a dangling link" 2 "rm f.cfg; ln -s gone.cfg f.cfg"
try "a hard link" 2 "ln f.cfg other.cfg"
try "a folder" 2 "rm f.cfg; mkdir f.cfg"
try "a link to a file of another owner and mode" 0 \
    "mv f.cfg t.cfg; ln -s t.cfg f.cfg; chown nobody:nogroup t.cfg; chmod 640 t.cfg"
[[ -L d/f.cfg && $(stat -c '%U:%G %a' d/t.cfg) == 'nobody:nogroup 640' &&
    $(cat d/t.cfg) == 'seta g_weaponDisable "40" // the weapons' ]] ||
    { echo "safe-write: the link, the target's mode or owner, or its bytes changed"; failures=$((failures + 1)); }
echo "$((7 - failures)) passed, $failures failed"
((failures == 0))
