#!/usr/bin/env bash
# Measures what the running screen saver costs: CPU time (user + system) of
# the saver's process over wall time, and its resident memory, on a private
# display (1024x768 at 96 DPI unless given), and its wakeups a second
# (context switches of all its threads). Random walks with random
# backgrounds and statements.
#
#   tools/measure-saver.sh [--screen WIDTHxHEIGHT] [--dpi DPI] [SECONDS]
#
# --screen 3840x2160 --dpi 192 is a 4K screen at 200 %, where the saver
# draws at twice the scale.
# SECONDS (default 90) is the measured stretch; it starts 3 s after launch,
# when the first walk is under way. A walk cycle takes 12 to 22 s, so the
# default covers at least three whole cycles. Targets: 0.5 % of one core,
# 30 MB resident. For scale it also measures Wine's own notepad on the same
# display: what any Wine GUI process holds before it does anything.
set -euo pipefail
cd "$(dirname "$0")/.."
# The options go to tools/with-wine.sh; a number is the seconds.
seconds=90
display=()
for argument in "$@"; do
    if [[ $argument =~ ^[0-9]+$ ]] && [ "${display[*]: -1}" != --dpi ]; then
        seconds=$argument
    else
        display+=("$argument")
    fi
done
build=${PIMBO_BUILD_DIR:-build}
if [ ! -f "$build/Pimbo95.scr" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
    cmake --build "$build" -j2 --target Pimbo95
fi
scr=$(readlink -f "$build/Pimbo95.scr")

tools/with-wine.sh "${display[@]}" bash -c '
    set -euo pipefail
    scr=$1 seconds=$2
    printf "[Fizzy Pimbo Screen Saver]\r\nWalking Style=0\r\nStatements=1\r\nBackgrounds=1\r\n" \
        > "$WINEPREFIX/drive_c/windows/Pimbo95.ini"
    wine64 "$scr" /s >/dev/null 2>&1 &
    pid=$!
    # The loader execs in place: the saver keeps the pid it was started with.
    sleep 3
    [ -r /proc/$pid/stat ] || { echo "the saver did not start" >&2; exit 1; }
    tick=$(getconf CLK_TCK)
    cpu() { awk "{ print \$14 + \$15 }" "/proc/$1/stat"; }
    # Every switch of every thread, voluntary or not: how often it wakes.
    wakeups() { cat /proc/$1/task/*/status 2>/dev/null | awk "/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += \$2 } END { print n + 0 }"; }
    # The display server and the wineserver of this session work for the
    # saver too; they are found by the prefix in their environment.
    # Other sessions may run beside this one: a process of theirs is passed over.
    helper() {
        for p in $(pgrep -x "$1"); do
            if tr "\0" "\n" < /proc/$p/environ 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
                echo "$p"
                break
            fi
        done
    }
    xvfb=$(helper Xvfb); server=$(helper "wineserver(64)?")
    c0=$(cpu "$pid"); w0=$(wakeups "$pid"); x0=$(cpu "$xvfb"); s0=$(cpu "$server"); t0=$(date +%s.%N)
    peak=0
    end=$(( $(date +%s) + seconds ))
    while [ "$(date +%s)" -lt "$end" ]; do
        rss=$(awk "/^VmRSS:/ { print \$2 }" "/proc/$pid/status")
        [ "$rss" -gt "$peak" ] && peak=$rss
        sleep 1
    done
    c1=$(cpu "$pid"); w1=$(wakeups "$pid"); x1=$(cpu "$xvfb"); s1=$(cpu "$server"); t1=$(date +%s.%N)
    hwm=$(awk "/^VmHWM:/ { print \$2 }" "/proc/$pid/status")
    name=$(cat /proc/$pid/comm)
    screen=$(xdpyinfo 2>/dev/null | awk "/dimensions:/ { print \$2 }" || true)
    split() { awk "/^Rss(Anon|File|Shmem):/ { printf \"%s %.1f MB  \", \$1, \$2 / 1024 }" "/proc/$1/status"; }
    parts=$(split "$pid")
    kill "$pid" 2>/dev/null || true
    wine64 "C:\\windows\\system32\\notepad.exe" >/dev/null 2>&1 &
    notepad=$!
    sleep 8
    n0=$(wakeups "$notepad"); sleep 5; n1=$(wakeups "$notepad")
    base=$(awk "/^VmRSS:/ { printf \"%.1f MB\", \$2 / 1024 }" "/proc/$notepad/status")
    baseParts=$(split "$notepad")
    kill "$notepad" 2>/dev/null || true
    awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" -v tick="$tick" \
        -v rss="$peak" -v hwm="$hwm" -v name="$name" -v woke=$(( w1 - w0 )) -v noted=$(( n1 - n0 )) \
        -v xvfb=$(( x1 - x0 )) -v server=$(( s1 - s0 )) "BEGIN {
        wall = t1 - t0; used = (c1 - c0) / tick
        printf \"process      %s\\n\", name
        printf \"wall time    %.1f s\\n\", wall
        printf \"CPU time     %.2f s (user + system)\\n\", used
        printf \"CPU share    %.3f %% of one core (target 0.5 %%)\\n\", 100 * used / wall
        printf \"wakeups      %.0f a second (notepad idle: %.0f)\\n\", woke / wall, noted / 5
        printf \"besides      Xvfb %.3f %%, wineserver %.3f %% of one core\\n\", 100 * xvfb / tick / wall, 100 * server / tick / wall
        printf \"resident     %.1f MB at most while measured, %.1f MB peak (target 30 MB)\\n\", rss / 1024, hwm / 1024
    }"
    echo "             $parts"
    echo "notepad      $base resident: $baseParts"
    dpi=$(wine64 reg query "HKCU\\Control Panel\\Desktop" /v LogPixels 2>/dev/null | awk "/LogPixels/ { print \$3 }" || true)
    echo "display      $screen, LogPixels ${dpi:-none (96)}"
' _ "$scr" "$seconds"
