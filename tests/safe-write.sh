#!/usr/bin/env bash
# zelvar-bits set against what can go wrong on a real file system: each fault
# ends with status 2 and a message, the file byte for byte as it was and no
# temporary file beside it; a link's target is replaced, the link kept, and
# so are the mode and owner. Usage: safe-write.sh ZELVAR_BITS (as root).
set -euo pipefail
bits=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
config='seta g_weaponDisable "8" // the weapons
'
check() {  # NAME EXPECTED-STATUS ACTUAL-STATUS FILE-AS-EXPECTED LISTING-AS-EXPECTED
    if [[ $2 != "$3" || $4 != yes || $5 != yes ]]; then
        echo "safe-write: $1: status $3 (expected $2), file as expected: $4, folder as expected: $5"
        failures=$((failures + 1))
    fi
}
fault() {  # NAME SETUP [RUNNER...]: the setup runs in d/, which holds f.cfg
    local name=$1 setup=$2 status=0
    shift 2
    rm -rf d && mkdir d && printf '%s' "$config" >d/f.cfg
    (cd d && eval "$setup")
    local listing before
    listing=$(ls -A d) && before=$(cat d/f.cfg 2>/dev/null || true)
    "$@" "$bits" set d/f.cfg 'g_weaponDisable 40' >out 2>err || status=$?
    local same=no clean=no
    [[ $(cat d/f.cfg 2>/dev/null || true) == "$before" ]] && same=yes
    [[ $(ls -A d) == "$listing" ]] && clean=yes
    check "$name" 2 "$status" "$same" "$clean"
    [[ -s err && ! -s out ]] || { echo "safe-write: $name: no message"; failures=$((failures + 1)); }
}
fault "a full disk" "head -c 4000 /dev/zero | tr '\\0' ' ' >>f.cfg" \
    bash -c 'ulimit -f 1; exec "$@"' -
fault "a read-only folder" "chown nobody f.cfg; chmod 555 ." \
    setpriv --reuid=nobody --regid=nogroup --clear-groups
fault "a dangling link" "rm f.cfg; ln -s gone.cfg f.cfg"
fault "a hard link" "ln f.cfg other.cfg"
fault "a folder" "rm f.cfg; mkdir f.cfg"

# A link to a file of another owner and mode: the target changes, all else stays.
rm -rf d && mkdir d && printf '%s' "$config" >d/t.cfg && ln -s t.cfg d/f.cfg
chown nobody:nogroup d/t.cfg && chmod 640 d/t.cfg
status=0 && "$bits" set d/f.cfg 'g_weaponDisable 40' >out || status=$?
kept=no; [[ -L d/f.cfg && $(stat -c '%U:%G %a' d/t.cfg) == 'nobody:nogroup 640' ]] && kept=yes
check "a link, a mode and an owner" 0 "$status" "$kept" \
    "$([[ $(cat d/t.cfg) == 'seta g_weaponDisable "40" // the weapons' && $(ls -A d | wc -l) == 2 ]] && echo yes)"
echo "$((6 - failures)) passed, $failures failed"
((failures == 0))
