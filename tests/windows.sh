#!/usr/bin/env bash
# The Windows build, made and tested here: cross-built with MinGW-w64 (the
# Win32 window, zelvar-bits and the zip that holds them), its resources read
# back by the resource compiler against the reviewed data/resource.rc, and the
# window run under wine on a virtual display (tst_win32): its listing against
# the reviewed data/win32.listing, what its panel buttons and ranks write and
# where Tab goes against the Qt window's reviewed listing, a random walk
# against the oracle, the copy and save keys, every check box's indicator
# whole, and the start frame and each panel pixel for pixel against the
# reviewed data/win32-look-*.png; zelvar-bits.exe reading a scripted
# server on loopback through Windows' sockets, and naming the file hosts'
# clients that wine lacks (Windows' OpenSSH and curl.exe). ZELVAR_UPDATE_LISTING=1 rewrites the
# reviewed listing and images instead, for review. Usage: windows.sh SOURCE-DIR
set -euo pipefail
cd "$1"
scripts/build windows >/dev/null
build=$PWD/build-windows
zip=$(ls "$build"/package/zelvar-bitrate-*-win64.zip)
listed="LICENSE.txt MANUAL.txt "
[[ ! -d build-web/page ]] || listed+="web/ $(cd build-web/page && ls | sed 's|^|web/|' | tr '\n' ' ')"
[[ $(unzip -Z1 "$zip" | sort | tr '\n' ' ') == "${listed}zelvar-bitrate.exe zelvar-bits.exe " ]]
for exe in zelvar-bitrate zelvar-bits; do  # nothing needed beside Windows itself
    x86_64-w64-mingw32-objdump -p "$build"/*/"$exe.exe" | grep 'DLL Name' |
        grep -v -i -E 'kernel32|user32|gdi32|shell32|ole32|oleaut32|msvcrt|advapi32|comdlg32|winspool|ws2_32|mswsock' &&
        { echo "windows: $exe.exe needs a library Windows does not have"; exit 1; }
done

resources=$build/win32/CMakeFiles/zelvar_win32_resources.dir/resources.rc.res
x86_64-w64-mingw32-windres -J coff -i "$resources" -O rc | grep -v -e '^  0x' -e '^ *$' |
    diff -u tests/data/resource.rc -
x86_64-w64-mingw32-windres -J coff -i "$resources" -O res -o "$build/resources.res"
python3 - "$build/resources.res" assets/icon.ico assets/backdrop.jpg <<'PY'
import sys
res = open(sys.argv[1], "rb").read()
assert open(sys.argv[2], "rb").read()[22:] in res, "the icon is not the project's"
assert open(sys.argv[3], "rb").read() in res, "the picture is not the project's"
PY

# No debugger to wait in: a crash ends the program, and the test, at once.
export WINEPREFIX=$build/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
# A new prefix made whole before anything runs in it.
timeout 120 wineboot -i >/dev/null 2>&1 && timeout 60 wineserver -w || true
# A scripted server on loopback, for the window's send key and zelvar-bits.exe.
export ZELVAR_RCON_PASSWORD=$RANDOM$RANDOM
coproc server { exec python3 tests/contract.py serve; }
trap 'kill "$server_PID" 2>/dev/null || true' EXIT
read -r -t 10 ZELVAR_TEST_SERVER_PORT <&"${server[0]}"
export ZELVAR_TEST_SERVER_PORT
listing=$build/win32.listing
looks=$build/looks
rm -rf "$looks" && mkdir -p "$looks"
scripts/with-display --timeout 240 -- bash -c '
    cd "$3" && wine "$1" >"$2"; status=$?
    timeout 20 wineserver -k
    exit $status' _ "$build/tests/tst_win32.exe" "$listing" "$looks" || { tail -8 "$listing"; exit 1; }
if [[ -n ${ZELVAR_UPDATE_LISTING:-} ]]; then  # for review
    tr -d '\r' <"$listing" | grep -v '^after' >tests/data/win32.listing
    for actual in "$looks"/*.bgra; do
        convert -size 565x391 -depth 8 "bgra:$actual" -alpha off "tests/data/$(basename "${actual%.bgra}").png"
    done
fi
tr -d '\r' <"$listing" | grep -v '^after' | diff -u tests/data/win32.listing -
# Windows' sockets from the command line: get and send.
port=$ZELVAR_TEST_SERVER_PORT
said=$(timeout 60 wine "$build"/zelvar-bits/zelvar-bits.exe get "127.0.0.1:$port" 2>&1 |
    tr -d '\r' | grep -E '^zv_teamLock|^g_weaponDisable' || true)
sent=$(timeout 60 wine "$build"/zelvar-bits/zelvar-bits.exe send "127.0.0.1:$port" zv_teamLock 20 2>&1 |
    tr -d '\r' || true)
timeout 20 wineserver -k || true
[[ $said == $'g_weaponDisable 524279\nzv_teamLock '[0-9]* && $sent == 'zv_teamLock 20: applied' ]] ||
    { echo "windows: zelvar-bits.exe against the scripted server said: $said $sent"; exit 1; }
# A file host's client that this Windows lacks is named, with where Windows keeps it.
for at in sftp ftps; do
    said=$(timeout 60 wine "$build"/zelvar-bits/zelvar-bits.exe explain "$at://127.0.0.1:1/g/server.cfg" \
        </dev/null 2>&1 | tr -d '\r') && { echo "windows: $at with no client succeeded"; exit 1; }
    [[ $said == *'could not be started'*'Windows ships it'* ]] ||
        { echo "windows: $at with no client said: $said"; exit 1; }
done
timeout 20 wineserver -k || true
diff -u <(grep '^after' tests/data/window.listing) <(tr -d '\r' <"$listing" | grep '^after')
# The start frame and each panel, pixel for pixel as reviewed; a difference
# leaves the actual image and one with the differing pixels in red beside them.
differ=0
for reviewed in tests/data/win32-look-*.png; do
    name=$(basename "${reviewed%.png}")
    convert -size 565x391 -depth 8 "bgra:$looks/$name.bgra" -alpha off "$looks/$name.actual.png"
    pixels=$(compare -metric AE "$reviewed" "$looks/$name.actual.png" "$looks/$name.difference.png" 2>&1) || true
    if [[ $pixels != 0 ]]; then
        echo "windows: $name differs from the reviewed image in $pixels pixels: $looks/$name.actual.png"
        differ=1
    fi
done
((differ == 0))
echo "windows: zip as reviewed; the Win32 window under wine as reviewed, as the Qt one and as it looked"
