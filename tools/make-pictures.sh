#!/usr/bin/env bash
# Makes the README's pictures from the real program on a private virtual
# display (tools/with-wine.sh):
#
#   docs/saver.png          the saver, Pimbo speaking in a bubble
#   docs/config-dialog.png  the configuration dialog with the shipped toons
#   docs/walk.gif           one whole random-walk cycle, scaled down
#   docs/editor.png         the editor with the frame editor open, once the
#                           program has one
#
#   tools/make-pictures.sh [OUTPUT_DIR]      (default docs)
#
# Each run makes new pictures of the same kind: the walk is random.
set -euo pipefail
self=$(readlink -f "$0")

if [ "${1:-}" != --inside ]; then
    mkdir -p "${1:-$(dirname "$self")/../docs}"
    out=$(readlink -f "${1:-$(dirname "$self")/../docs}")
    cd "$(dirname "$self")/.."
    tools/install-deps.sh
    build=${PIMBO_BUILD_DIR:-build}
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
    cmake --build "$build" -j2 --target Pimbo95
    exec tools/with-wine.sh "$self" --inside "$(readlink -f "$build/Pimbo95.scr")" "$out"
fi

cd "$(dirname "$self")/.."
scr=$2
out=$3
work=$(mktemp -d /tmp/pimbo-pictures.XXXXXX)
trap 'rm -rf "$work"' EXIT
ini=$WINEPREFIX/drive_c/windows/Pimbo95.ini
# A walk step lasts at most 190 ms; a frame every 150 ms or so catches each.
FRAME_SECONDS=0.15
# Long enough for the title and one whole cycle: walk in, speak, walk off.
CAPTURE_SECONDS=45
saver_pid=

put_settings() {
    printf '[Fizzy Pimbo Screen Saver]\r\n' >"$ini"
    local line
    for line in "$@"; do
        printf '%s\r\n' "$line" >>"$ini"
    done
}

now_ms() {
    echo $(( $(date +%s%N) / 1000000 ))
}

# The X window of a Wine window with this exact title, waited for.
find_window() {
    local id="" tries=0
    while [ -z "$id" ] && [ $tries -lt 100 ]; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] || sleep 0.2
        tries=$((tries + 1))
    done
    [ -n "$id" ] || { echo "no window \"$1\" appeared" >&2; return 1; }
    echo "$id"
}

stop_program() {
    if [ -n "$saver_pid" ] && kill -0 "$saver_pid" 2>/dev/null; then
        kill "$saver_pid" 2>/dev/null || true
        wait "$saver_pid" 2>/dev/null || true
    fi
    saver_pid=
}

# Pixels of a screen shot that differ from the empty stage, tiled with the
# given background.
foreign_pixels() {
    compare -metric AE -fuzz 3% "$1" "$work/empty-$2.png" null: 2>&1 || true
}

empty_stage() {
    convert -size 1024x768 "tile:resources/bg$1.bmp" "$work/empty-$1.png"
}

config_dialog_picture() {
    put_settings "Walking Style=1" "Statements=1" "Backgrounds=1" 'Directory=C:\Toons\' "Paces Walked=0"
    wine64 "$scr" /c >/dev/null 2>&1 &
    saver_pid=$!
    local dialog
    dialog=$(find_window "Fizzy Pimbo Screen Saver")
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    sleep 1
    import -window "$dialog" "$out/config-dialog.png"
    stop_program
}

# The saver playing the shipped greeting: the first line he says.
speaking_picture() {
    mkdir -p "$WINEPREFIX/drive_c/Greeting"
    cp toons/greeting.ptf "$WINEPREFIX/drive_c/Greeting/"
    put_settings "Walking Style=1" 'Directory=C:\Greeting\' "Paces Walked=0"
    empty_stage 02
    wine64 "$scr" /s >/dev/null 2>&1 &
    saver_pid=$!
    find_window "Screen Saver" >/dev/null
    local start pixels=0 shot=$work/look.png
    start=$(now_ms)
    # Pimbo and his bubble together differ from the stage in over ten
    # thousand pixels, he alone in fewer than six thousand; the title on
    # its own background in nearly all of them.
    until [ "$pixels" -gt 10000 ] && [ "$pixels" -lt 100000 ]; do
        if [ $(( $(now_ms) - start )) -gt $((CAPTURE_SECONDS * 1000)) ]; then
            echo "saver.png: no speech bubble within $CAPTURE_SECONDS s" >&2
            return 1
        fi
        sleep 0.3
        import -window root "$shot"
        pixels=$(foreign_pixels "$shot" 02)
    done
    sleep 1
    import -window root "$out/saver.png"
    stop_program
}

# Films the saver from its start until the first cycle is over: walks with
# statements on the first background, which then stays, so that an empty
# stage is the tiled background alone and a cycle starts and ends on it.
film_first_cycle() {
    put_settings "Walking Style=0" "Statements=1" "Backgrounds=0" 'Directory=C:\' "Paces Walked=0"
    empty_stage 01
    wine64 "$scr" /s >/dev/null 2>&1 &
    saver_pid=$!
    find_window "Screen Saver" >/dev/null
    local start n=0
    start=$(now_ms)
    : >"$work/times"
    while [ $(( $(now_ms) - start )) -lt $((CAPTURE_SECONDS * 1000)) ]; do
        n=$((n + 1))
        import -window root "$(printf '%s/frame%04d.png' "$work" "$n")"
        echo "$(now_ms)" >>"$work/times"
        sleep "$FRAME_SECONDS"
    done
    stop_program
    echo "$n"
}

# Sets first and last to the frames of the first whole cycle: from the
# last empty stage before Pimbo comes in to the first empty one after he
# has gone. A few stray pixels still count as empty: a bubble's text may
# leave some behind until the next cycle redraws the stage.
find_cycle() {
    local count=$1 i pixels empty seen_empty=0
    first=0 last=0
    for ((i = 1; i <= count; i++)); do
        pixels=$(foreign_pixels "$(printf '%s/frame%04d.png' "$work" "$i")" 01)
        empty=0
        [ "$pixels" -lt 400 ] && empty=1
        if [ $empty = 1 ]; then
            seen_empty=1
            if [ $first -gt 0 ]; then
                last=$i
                break
            fi
        elif [ $seen_empty = 1 ] && [ $first = 0 ]; then
            # Before the stage has been empty the title is still up.
            first=$((i - 1))
        fi
    done
    if [ $first = 0 ] || [ $last = 0 ]; then
        echo "walk.gif: no whole cycle within $CAPTURE_SECONDS s" >&2
        return 1
    fi
}

walk_picture() {
    local count
    count=$(film_first_cycle)
    find_cycle "$count"

    # Each frame stays as long as it was on the screen; the last one a while.
    local args=() i delay next
    for ((i = first; i <= last; i++)); do
        if [ $i -lt $last ]; then
            next=$(sed -n "$((i + 1))p" "$work/times")
            delay=$(( (next - $(sed -n "${i}p" "$work/times")) / 10 ))
        else
            delay=100
        fi
        args+=(-delay "$delay" "$(printf '%s/frame%04d.png' "$work" "$i")")
    done
    # One palette for all frames, so that the background does not flicker.
    convert "${args[@]}" -scale 25% -append +dither -colors 48 -unique-colors "$work/palette.png"
    convert "${args[@]}" -scale 50% +dither -remap "$work/palette.png" -layers Optimize -loop 0 \
        "$out/walk.gif"
    echo "walk.gif: frames $first to $last of $count, $(stat -c %s "$out/walk.gif") bytes"
}

# ---------------------------------------------------------------------------
# The editor with the frame editor open. Its dialog template "Framedit" is
# how the built program shows it has one; without it this step is skipped.
editor_picture() {
    if ! LC_ALL=C grep -q -a -P 'F\x00R\x00A\x00M\x00E\x00D\x00I\x00T\x00' "$scr"; then
        echo "editor.png: skipped, the program has no frame editor yet"
        return 0
    fi
    put_settings "Walking Style=1" 'Directory=C:\Toons\' "Paces Walked=0"
    wine64 "$scr" /c >/dev/null 2>&1 &
    saver_pid=$!
    local dialog
    dialog=$(find_window "Fizzy Pimbo Screen Saver")
    xdotool windowfocus --sync "$dialog"
    xdotool key alt+e                   # "&Edit Toon Files.."
    sleep 3                             # the editor's entrance walk
    xdotool key ctrl+e                  # Edit: the frame editor
    sleep 2
    import -window root "$out/editor.png"
    stop_program
}
# ---------------------------------------------------------------------------

mkdir -p "$WINEPREFIX/drive_c/Toons"
cp toons/*.ptf toons/*.wav "$WINEPREFIX/drive_c/Toons/"
config_dialog_picture
speaking_picture
walk_picture
editor_picture
ls -l "$out"/*.png "$out"/*.gif
