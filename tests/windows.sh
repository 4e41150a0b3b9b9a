#!/usr/bin/env bash
# What carries to Windows: the version record and icon, compiled and read
# back by the MinGW resource compiler and compared with the reviewed
# data/resource.rc; and the Qt-free model and zelvar-bits, cross-compiled.
# Usage: windows.sh SOURCE-DIR SCRATCH-DIR
set -euo pipefail
src=$1 out=$2
mkdir -p "$out"
x86_64-w64-mingw32-windres -i "$src/assets/zelvar-bitrate.rc" -o "$out/resource.o"
x86_64-w64-mingw32-windres -i "$out/resource.o" -O rc | grep -v -e '^  0x' -e '^ *$' |
    diff -u "$src/tests/data/resource.rc" -
# The JSON library alone from the system's headers: the rest are glibc's.
mkdir -p "$out/include"
ln -sfn /usr/include/nlohmann "$out/include/nlohmann"
x86_64-w64-mingw32-g++ -std=c++20 -O1 -Wall -Wextra -Wpedantic -Werror -static \
    -I"$src/model" -isystem "$out/include" "$src"/model/*.cpp "$src"/zelvar-bits/*.cpp \
    -o "$out/zelvar-bits.exe"
file "$out/zelvar-bits.exe" | grep -q 'PE32+ executable (console) x86-64'
echo "windows: version record as reviewed; zelvar-bits.exe cross-compiled"
