#!/usr/bin/env bash
# Builds Pimbo95.scr and runs the screen saver full screen under Wine.
# On a machine without a display it runs on a private virtual display for a
# few seconds and saves a screenshot, whose name it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${PIMBO_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$build" -j"$(nproc)" --target Pimbo95
scr=$(readlink -f "$build/Pimbo95.scr")
export PATH=/usr/lib/wine:$PATH

if [ -n "${DISPLAY:-}" ]; then
    exec wine64 "$scr" /s
fi

seconds=${PIMBO_RUN_SECONDS:-12}
shot=${PIMBO_SCREENSHOT:-$PWD/pimbo-screenshot.png}
tools/with-wine.sh bash -c '
    wine64 "$1" /s >/dev/null 2>&1 &
    sleep "$2"
    import -window root "$3"
    wineserver -k >/dev/null 2>&1 || true
' _ "$scr" "$seconds" "$shot"
echo "No display: ran the saver on a virtual display for $seconds s; screenshot: $shot"
