#!/usr/bin/env bash
# Runs a command inside a private Wine session: its own Xvfb display
# (1024x768x24), a throwaway prefix copied from a cached template, and a
# persistent wineserver. Everything is removed afterwards.
#
#   tools/with-wine.sh [--two-monitors | --two-monitors-left]
#                      [--screen WIDTHxHEIGHT] [--dpi DPI] COMMAND [ARGS...]
#
# --screen gives the private Xvfb that size instead (24 bits a pixel), and
# --dpi sets Wine's pixels per inch in the prefix (96 by default; 192 is
# Windows' 200 %): --screen 3840x2160 --dpi 192 is a 4K screen at 200 %.
#
# --two-monitors gives Wine two monitors side by side instead: 1024x768 at
# (0, 0) and 800x600 to its right. Xephyr, run with one screen per monitor
# inside a private Xvfb big enough for both, is the only server here whose
# layout Wine sees as two monitors. The run gets its own prefix and
# wineserver, so it may be nested inside a one-monitor run.
# --two-monitors-left puts the 800x600 one to the left of the primary and
# 200 pixels higher: Wine sees it at (-800, -200) to (0, 400).
#
# Environment: PIMBO_WINE_CACHE (template location, default ~/.cache/pimbo95),
# PIMBO_KEEP_DISPLAY=1 to use $DISPLAY instead of a private Xvfb,
# PIMBO_SCREEN (WIDTHxHEIGHTxDEPTH) and PIMBO_DPI as --screen and --dpi.
set -euo pipefail
usage="usage: tools/with-wine.sh [--two-monitors | --two-monitors-left] [--screen WIDTHxHEIGHT] [--dpi DPI] COMMAND [ARGS...]"
two_monitors=
screen=${PIMBO_SCREEN:-1024x768x24}
dpi=${PIMBO_DPI:-}
while [ $# -gt 0 ]; do
    case $1 in
        --two-monitors | --two-monitors-left) two_monitors=${1#--}; shift ;;
        --screen) [[ ${2:-} =~ ^[0-9]+x[0-9]+$ ]] || { echo "$usage" >&2; exit 2; }; screen=${2}x24; shift 2 ;;
        --dpi) [[ ${2:-} =~ ^[0-9]+$ ]] || { echo "$usage" >&2; exit 2; }; dpi=$2; shift 2 ;;
        *) break ;;
    esac
done
[[ $screen =~ ^[0-9]+x[0-9]+x[0-9]+$ ]] || { echo "PIMBO_SCREEN must be like 1024x768x24, not \"$screen\"" >&2; exit 2; }
[[ $dpi =~ ^[0-9]*$ ]] || { echo "PIMBO_DPI must be a number, not \"$dpi\"" >&2; exit 2; }
export PATH=/usr/lib/wine:$PATH

WINE64=$(command -v wine64 || true)
[ -n "$WINE64" ] || WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || { echo "wine64 not found" >&2; exit 2; }
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

cache=${PIMBO_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pimbo95}
template=$cache/wine-template
mkdir -p "$cache"

export WINEDEBUG=${WINEDEBUG:--all}
# No debugger: a program that crashes ends at once instead of waiting for one.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINEARCH=win64

make_template() {
    local tmp
    tmp=$(mktemp -d "$cache/template.XXXXXX")
    (
        export WINEPREFIX=$tmp
        "$WINE64" wineboot -i >/dev/null 2>&1 || true
        # Without a window manager, unmanaged windows avoid a 2 s wait on every hide.
        "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        "$WINE64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
            /v 'MS Serif' /d 'DejaVu Serif' /f >/dev/null 2>&1
        "$WINESERVER" -w
        if [ -d /usr/share/wine/fonts ]; then
            cp /usr/share/wine/fonts/* "$tmp/drive_c/windows/Fonts/" 2>/dev/null || true
        fi
    )
    # Another run may have made one meanwhile; the first to finish wins.
    if ! mv -T "$tmp" "$template" 2>/dev/null; then
        rm -rf "$tmp"
    fi
}

(
    flock 9
    [ -f "$template/system.reg" ] || make_template
) 9>"$cache/lock"

prefix=$(mktemp -d /tmp/pimbo-wine.XXXXXX)
xvfb_pid=
xephyr_pid=
cleanup() {
    WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
    [ -n "$xephyr_pid" ] && kill "$xephyr_pid" >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT INT TERM

cp -a "$template/." "$prefix/"
export WINEPREFIX=$prefix
# A new prefix links Documents, Desktop and the like to the real home folder:
# folders of the prefix take their place, so nothing a test saves leaves it.
for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
# Wine takes the DPI from the user's desktop settings when it starts.
if [ -n "$dpi" ]; then
    "$WINE64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    "$WINESERVER" -w
fi

# Starts an X server that tells its display number on descriptor 5 and
# sets DISPLAY to it; its process id goes into the named variable.
start_server() {
    local pid_variable=$1 fifo number
    shift
    fifo=$(mktemp -u /tmp/pimbo-xvfb.XXXXXX)
    mkfifo "$fifo"
    "$@" -displayfd 5 -nolisten tcp 5>"$fifo" >/dev/null 2>&1 &
    printf -v "$pid_variable" %s $!
    read -r -t 20 number < "$fifo" || { echo "$1 did not start" >&2; rm -f "$fifo"; exit 2; }
    rm -f "$fifo"
    export DISPLAY=:$number
}

if [ "$two_monitors" = two-monitors ]; then
    start_server xvfb_pid Xvfb -screen 0 1900x800x24
    start_server xephyr_pid Xephyr +xinerama -extension RANDR \
        -screen 1024x768+0+0 -screen 800x600+1024+0
elif [ "$two_monitors" = two-monitors-left ]; then
    # Wine's primary is Xephyr's first screen, and Wine moves it to (0, 0).
    start_server xvfb_pid Xvfb -screen 0 1900x1000x24
    start_server xephyr_pid Xephyr +xinerama -extension RANDR \
        -origin 800,200 -screen 1024x768+800+200 -origin 0,0 -screen 800x600+0+0
elif [ "${PIMBO_KEEP_DISPLAY:-0}" != 1 ]; then
    start_server xvfb_pid Xvfb -screen 0 "$screen"
fi

# A persistent, warmed-up wineserver saves seconds per test; its output must
# not hold the test runner's pipes open.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null
"$WINE64" cmd /c exit >/dev/null 2>&1 </dev/null || true

set +e
"$@"
status=$?
set -e
exit $status
