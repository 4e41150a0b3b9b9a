#!/usr/bin/env bash
# Start-up under a Wayland compositor (weston's headless back end): the
# window asks for one fixed size, carries its title and puts its first frame
# on screen. Usage: wayland.sh PROGRAM
set -euo pipefail
program=$1
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
weston --backend=headless-backend.so --socket=zelvar --idle-time=0 >"$XDG_RUNTIME_DIR/weston.log" 2>&1 &
for _ in $(seq 100); do [[ -S $XDG_RUNTIME_DIR/zelvar ]] && break; sleep 0.1; done

log=$XDG_RUNTIME_DIR/client.log
WAYLAND_DISPLAY=zelvar QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=1 "$program" 2>"$log" &
for _ in $(seq 200); do
    grep -q 'wl_surface@[0-9]*\.attach(wl_buffer' "$log" && break
    sleep 0.1
done
for call in 'set_title("Zelvar 1.9 Bitrate Calculator V1.3")' 'set_min_size(565, 391)' \
            'set_max_size(565, 391)' 'wl_surface@[0-9]*\.attach(wl_buffer'; do
    grep -q -e "$call" "$log" || { echo "wayland: no $call"; exit 1; }
done
echo "wayland: one fixed size, the title, a first frame"
