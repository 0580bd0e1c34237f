#!/usr/bin/env bash
# Measures what the running screen saver costs, on a private 1024x768
# display set up as a desktop's (its X resource file in place): CPU time
# (user + system) of the saver's process over wall time, its resident
# memory, and its wakeups a second (context switches of all its threads),
# in all and by phase: walking, talking and standing (see
# tools/saver_meter.py for how the phase is known). Random walks with random
# backgrounds and statements.
#
#   tools/measure-saver.sh [--screen WIDTHxHEIGHT] [--dpi DPI] [SECONDS]
#   tools/measure-saver.sh [--screen ...] [--dpi ...] --compare OLD.scr NEW.scr [SECONDS]
#
# --screen 3840x2160 --dpi 192 is a 4K screen at 200 %, where the saver
# draws at twice the scale (the options go to tools/with-wine.sh).
# SECONDS (default 90; 60 for each build when comparing) is the measured
# stretch; each run starts 3 s after launch, when the first walk is under way.
# A walk cycle takes 12 to 22 s. --compare runs the two builds in turn
# (A B B A ...), in runs of 30 s, on the same display and wineserver, so
# that both meet the same load of the machine. Targets: 0.5 % of one core,
# 30 MB resident. For scale it also measures Wine's own notepad on the same
# display: what any Wine GUI process holds before it does anything.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if [ "${1:-}" = --inside ]; then
    shift
    seconds=$1 runs=$2
    shift 2
    # A desktop's display has a resource file; without one libX11 looks for
    # it again and again. This one is the session's, not the user's.
    home=$(mktemp -d /tmp/pimbo-home.XXXXXX)
    results=$(mktemp -d /tmp/pimbo-measure.XXXXXX)
    trap 'rm -rf "$home" "$results"' EXIT
    printf 'Xft.dpi: 96\n' > "$home/.Xdefaults"
    printf "[Fizzy Pimbo Screen Saver]\r\nWalking Style=0\r\nStatements=1\r\nBackgrounds=1\r\n" \
        > "$WINEPREFIX/drive_c/windows/Pimbo95.ini"
    wine64 reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'user32.SetTimer;user32.KillTimer' /f \
        >/dev/null 2>&1
    # The display server and the wineserver of this session work for the
    # saver too; they are found by the prefix in their environment, among
    # those of other sessions.
    helper() {
        local p
        for p in $(pgrep -x "$1" || true); do
            if tr '\0' '\n' < "/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX"; then
                echo "$p"
                return 0
            fi
        done
        echo 0
    }
    xvfb=$(helper Xvfb)
    server=$(helper 'wineserver(64)?')
    for ((run = 0; run < runs; ++run)); do
        # In turn as A B B A ...: the build that runs second in a pair was
        # measured about 10 % higher than the same build first.
        for ((turn = 1; turn <= $#; ++turn)); do
            build=$(( run % 2 ? $# + 1 - turn : turn ))
            scr=${!build}
            HOME=$home WINEDEBUG=-all,+relay,+timestamp wine64 "$scr" /s >/dev/null 2>"$results/trace$build" &
            pid=$!
            # The loader execs in place: the saver keeps the pid it was started with.
            sleep 3
            [ -r "/proc/$pid/stat" ] || { echo "the saver did not start: $scr" >&2; exit 1; }
            python3 "$root/tools/saver_meter.py" sample "$pid" "$results/trace$build" "$seconds" "$xvfb" "$server" \
                >> "$results/$build"
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        done
    done
    names=()
    for ((build = 1; build <= $#; ++build)); do
        names+=("${!build}" "$results/$build")
    done
    python3 "$root/tools/saver_meter.py" report "${names[@]}"

    wakeups() {
        cat /proc/"$1"/task/*/status 2>/dev/null |
            awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += $2 } END { print n + 0 }'
    }
    HOME=$home wine64 'C:\windows\system32\notepad.exe' >/dev/null 2>&1 &
    notepad=$!
    sleep 8
    n0=$(wakeups "$notepad")
    sleep 5
    n1=$(wakeups "$notepad")
    rss=$(awk '/^VmRSS:/ { printf "%.1f MB", $2 / 1024 }' "/proc/$notepad/status")
    kill "$notepad" 2>/dev/null || true
    echo "notepad      $rss resident, $(( (n1 - n0) / 5 )) wakeups a second idle"
    exit 0
fi

display=()
while [ "${1:-}" = --screen ] || [ "${1:-}" = --dpi ]; do
    [ $# -ge 2 ] || { echo "usage: $0 [--screen WIDTHxHEIGHT] [--dpi DPI] [--compare OLD.scr NEW.scr] [SECONDS]" >&2; exit 2; }
    display+=("$1" "$2")
    shift 2
done
if [ "${1:-}" = --compare ]; then
    [ $# -ge 3 ] || { echo "usage: $0 --compare OLD.scr NEW.scr [SECONDS]" >&2; exit 2; }
    scrs=("$(readlink -f "$2")" "$(readlink -f "$3")")
    seconds=${4:-60}
    runs=$(( (seconds + 29) / 30 ))
else
    build=${PIMBO_BUILD_DIR:-build}
    if [ ! -f "$build/Pimbo95.scr" ]; then
        cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
        cmake --build "$build" -j2 --target Pimbo95
    fi
    scrs=("$(readlink -f "$build/Pimbo95.scr")")
    seconds=${1:-90}
    runs=1
fi
for scr in "${scrs[@]}"; do
    [ -f "$scr" ] || { echo "no such saver: $scr" >&2; exit 2; }
done
echo "load before: $(uptime)"
tools/with-wine.sh "${display[@]}" "$root/tools/measure-saver.sh" --inside $(( seconds / runs )) "$runs" "${scrs[@]}"
echo "load after:  $(uptime)"
