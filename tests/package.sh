#!/usr/bin/env bash
# The Debian package, checked by the tools that own its formats: built with
# CPack, judged by lintian (no error, no warning), its files validated, and
# both programs started from a scratch root. Usage: package.sh BUILD-DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$build" && cpack -B "$scratch/out" >/dev/null 2>&1)
deb=$(echo "$scratch"/out/*.deb)

lintian --fail-on error,warning "$deb"
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6
dpkg-deb -f "$deb" Depends | grep -q 'qt6-qpa-plugins'
dpkg-deb -f "$deb" Recommends | grep -q 'qt6-wayland'

dpkg-deb -x "$deb" "$scratch/unpacked"
root=$scratch/unpacked/usr
desktop-file-validate "$root"/share/applications/net.zelvar.BitrateCalculator.desktop
appstreamcli validate --no-net --pedantic "$root"/share/metainfo/net.zelvar.BitrateCalculator.metainfo.xml |
    grep -q 'Validation was successful'
grep -q '<project_license>MIT</project_license>' "$root"/share/metainfo/*.xml
grep -q '^License: Expat' "$root"/share/doc/zelvar-bitrate/copyright
for page in "$root"/share/man/man1/zelvar-bitrate.1.gz "$root"/share/man/man1/zelvar-bits.1.gz; do
    mandoc -T lint -W warning "$page"
done

[[ $("$root"/bin/zelvar-bits encode zv_teamLock Red FFA) == "zv_teamLock 20" ]]
if [[ -d $(dirname "$0")/../build-web/page ]]; then  # the web page, whole
    diff -r "$(dirname "$0")/../build-web/page" "$root"/share/zelvar-bitrate/web
fi
XDG_RUNTIME_DIR=$scratch env -u QT_QPA_PLATFORM "$(dirname "$0")/../scripts/with-display" \
    --timeout 30 -- bash -c '
    "$1" & program=$!
    timeout 20 xdotool search --sync --name "^Zelvar 1.9 Bitrate Calculator V1.3$" >/dev/null
    found=$?
    kill "$program"
    exit $found
' _ "$root/bin/zelvar-bitrate"
echo "package: lintian clean, files valid, both programs run"
