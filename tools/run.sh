#!/usr/bin/env bash
# Builds Pimbo95.scr and runs the screen saver full screen under Wine.
# On a machine without a display, or with a screen size or DPI given, it
# runs on a private virtual display of that size and DPI for a few seconds
# and saves a screenshot, whose name it prints.
#
#   tools/run.sh [--screen WIDTHxHEIGHT] [--dpi DPI]
#
# The options are tools/with-wine.sh's: --screen 3840x2160 --dpi 192 is a
# 4K screen at 200 %, where Pimbo is drawn twice his size (the Size
# setting's Automatic).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${PIMBO_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$build" -j"$(nproc)" --target Pimbo95
scr=$(readlink -f "$build/Pimbo95.scr")
export PATH=/usr/lib/wine:$PATH

if [ -n "${DISPLAY:-}" ] && [ $# -eq 0 ]; then
    exec wine64 "$scr" /s
fi

seconds=${PIMBO_RUN_SECONDS:-12}
shot=${PIMBO_SCREENSHOT:-$PWD/pimbo-screenshot.png}
tools/with-wine.sh "$@" bash -c '
    wine64 "$1" /s >/dev/null 2>&1 &
    sleep "$2"
    import -window root "$3"
    wineserver -k >/dev/null 2>&1 || true
' _ "$scr" "$seconds" "$shot"
echo "Ran the saver on a virtual display for $seconds s; screenshot: $shot"
