#!/usr/bin/env bash
# Makes docs/editor.png: the real program on a private virtual display, the
# toon editor opened from the configuration dialog, a shipped toon opened
# through the Open dialog and played until Pimbo speaks at its first frame.
#
#   tools/editor-screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PIMBO_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$build" -j2 --target Pimbo95 >/dev/null
scr=$(readlink -f "$build/Pimbo95.scr")
toon="Z:$(readlink -f toons/greeting.ptf | tr / '\\')"
out=$(readlink -f "${1:-docs/editor.png}")

tools/with-wine.sh bash -c '
    set -e
    wine64 "$1" /c >/dev/null 2>&1 &
    sleep 4
    xdotool key alt+e          # "&Edit Toon Files.."
    sleep 22                   # the entrance walk, during which File is locked
    xdotool key ctrl+o
    sleep 3
    xdotool type --delay 20 "$2"
    xdotool key Return
    sleep 2
    xdotool key alt+p
    sleep 9                    # walk in to the first frame and speak
    import -window root "$3"
    wineserver -k >/dev/null 2>&1 || true
' _ "$scr" "$toon" "$out"
echo "$out"
