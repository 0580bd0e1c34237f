#!/usr/bin/env bash
# Makes the editor's pictures with the real program on a private virtual
# display, the toon editor opened from the configuration dialog:
#
#   tools/editor-screenshot.sh [OUTPUT.png]
#       docs/editor.png: a shipped toon opened through the Open dialog and
#       played until Pimbo speaks at its first frame.
#   tools/editor-screenshot.sh --frame-editor [OUTPUT.png]
#       docs/frame-editor.png: the frame editor, three frames placed by
#       clicks on the stage, each with a pause, a wink, a pose and a line.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=editor
if [ "${1:-}" = --frame-editor ]; then
    mode=frame-editor
    shift
fi
build=${PIMBO_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build "$build" -j2 --target Pimbo95 >/dev/null
scr=$(readlink -f "$build/Pimbo95.scr")
toon="Z:$(readlink -f toons/greeting.ptf | tr / '\\')"
out=$(readlink -f "${1:-docs/$mode.png}")

tools/with-wine.sh bash -c '
    set -e
    wine64 "$1" /c >/dev/null 2>&1 &
    sleep 4
    xdotool key alt+e          # "&Edit Toon Files.."
    sleep 22                   # the entrance walk, during which File is locked
    if [ "$4" = editor ]; then
        xdotool key ctrl+o
        sleep 3
        xdotool type --delay 20 "$2"
        xdotool key Return
        sleep 2
        xdotool key alt+p
        sleep 9                # walk in to the first frame and speak
    else
        xdotool key ctrl+e
        sleep 2
        # The stage'"'"'s client area starts at (26, 43) of the centred editor
        # on 1024 x 768. Escape leaves the menu bar that releasing Alt after
        # an accelerator key would select.
        first=1
        for frame in "266 603 1 Hello there!" "546 653 9 Over here" "786 588 14 Bye"; do
            read -r x y pose line <<<"$frame"
            [ "$first" = 1 ] || { xdotool key alt+n; sleep 0.5; }
            first=0
            xdotool mousemove "$x" "$y" click 1
            sleep 0.5
            xdotool key alt+s Escape End BackSpace BackSpace 3 Tab space Tab
            for _ in $(seq 1 "$pose"); do xdotool key Down; done
            xdotool key alt+t
            xdotool type --delay 20 "$line"
            xdotool key alt+v
            sleep 0.5
        done
        sleep 1
    fi
    import -window root "$3"
    wineserver -k >/dev/null 2>&1 || true
' _ "$scr" "$toon" "$out" "$mode"
echo "$out"
