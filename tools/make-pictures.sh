#!/usr/bin/env bash
# Makes the README's pictures from the real program on a private virtual
# display (tools/with-wine.sh):
#
#   saver          docs/saver.png          the saver, Pimbo speaking in a bubble
#   config-dialog  docs/config-dialog.png  the configuration dialog with the shipped toons
#   walk           docs/walk.gif           the shipped greeting, exported by /gif
#   voice          docs/voice.gif          the shipped voice toon, exported by /gif
#   frame-editor   docs/frame-editor.png   the editor with the frame editor open,
#                                          three frames placed by clicks on the stage
#   editor         docs/editor.png         the editor playing the shipped greeting,
#                                          Pimbo speaking at its first frame
#   two-monitors   docs/two-monitors.png   the saver on two monitors side by side
#                                          (made on the two-monitor display, at half size)
#   scale          docs/scale.png          the saver speaking on a 3840 x 2160 screen at
#                                          100 % and at 200 % (made on such a display
#                                          at 96 and at 192 DPI), the same part of each
#
#   tools/make-pictures.sh [--out DIR] [PICTURE...]   (default: docs, all of them)
#
# Each run makes new pictures of the same kind: the saver is random.
set -euo pipefail
self=$(readlink -f "$0")
all_pictures="config-dialog saver walk voice frame-editor editor two-monitors scale"

if [ "${1:-}" != --inside ]; then
    cd "$(dirname "$self")/.."
    out=docs
    pictures=()
    usage="usage: tools/make-pictures.sh [--out DIR] [PICTURE...]"
    while [ $# -gt 0 ]; do
        case $1 in
            --out) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }; out=$2; shift 2 ;;
            -*) echo "$usage" >&2; exit 2 ;;
            *)
                [[ " $all_pictures " == *" $1 "* ]] ||
                    { echo "no picture \"$1\"; there are: $all_pictures" >&2; exit 2; }
                pictures+=("$1"); shift ;;
        esac
    done
    [ ${#pictures[@]} -gt 0 ] || read -r -a pictures <<<"$all_pictures"
    mkdir -p "$out"
    out=$(readlink -f "$out")
    tools/install-deps.sh xdotool
    build=${PIMBO_BUILD_DIR:-build}
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
    cmake --build "$build" -j2 --target Pimbo95
    scr=$(readlink -f "$build/Pimbo95.scr")
    one=()
    two=()
    scaled=
    for picture in "${pictures[@]}"; do
        case $picture in
            two-monitors) two+=("$picture") ;;
            scale) scaled=1 ;;
            *) one+=("$picture") ;;
        esac
    done
    [ ${#one[@]} -eq 0 ] || tools/with-wine.sh "$self" --inside "$scr" "$out" "${one[@]}"
    [ ${#two[@]} -eq 0 ] || tools/with-wine.sh --two-monitors "$self" --inside "$scr" "$out" "${two[@]}"
    if [ -n "$scaled" ]; then
        # One session per DPI: Wine reads it when it starts.
        shots=$(mktemp -d /tmp/pimbo-scale.XXXXXX)
        for dpi in 96 192; do
            PIMBO_SCREEN=3840x2160x24 PIMBO_DPI=$dpi tools/with-wine.sh "$self" --inside "$scr" "$shots" "scale-$dpi"
        done
        # The part around him at 200 %, and the same part at 100 %: his
        # image's corner is the same screen point at both scales. The top
        # of the screen, where the toon's caption is, does not count.
        compare -fuzz 3% "$shots/scale-192.png" "$shots/empty-192.png" -compose src \
            -highlight-color white -lowlight-color black "$shots/changed.png" 2>/dev/null || true
        read -r w h x y < <(convert "$shots/changed.png" -crop 3840x1960+0+200 +repage -trim \
            -format '%w %h %X %Y\n' info:)
        part=$((w + 160))x$((h + 120))+$((x - 80))+$((y + 200 - 60))
        convert "$shots/scale-96.png[$part]" "$shots/scale-192.png[$part]" -bordercolor white -border 8 \
            +append +repage "$out/scale.png"
        rm -rf "$shots"
        ls -l "$out/scale.png"
    fi
    exit 0
fi

cd "$(dirname "$self")/.."
scr=$2
out=$3
shift 3
work=$(mktemp -d /tmp/pimbo-pictures.XXXXXX)
trap 'rm -rf "$work"' EXIT
ini=$WINEPREFIX/drive_c/windows/Pimbo95.ini
# Long enough for the title and Pimbo's first words.
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

# The X window of a visible Wine window whose whole title matches this
# pattern, waited for up to the given seconds; nothing when none appears.
visible_window() {
    local id start
    start=$(now_ms)
    while :; do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && break
        [ $(( $(now_ms) - start )) -lt $(($2 * 1000)) ] || break
        sleep 0.2
    done
    echo "$id"
}

find_window() {
    local id
    id=$(visible_window "$1" 20)
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
    local count
    count=$(compare -metric AE -fuzz 3% "$2" "$work/empty-$1.png" null: 2>&1 || true)
    # Large counts come as 8.2944e+06.
    printf '%.0f' "$count" 2>/dev/null || true
}

# Waits until Pimbo speaks, then takes the picture and ends the program.
# The command given, with a screen shot added, counts the pixels that
# differ from the empty stage: Pimbo and his bubble together over ten
# thousand, he alone fewer than six thousand, the saver's title on its own
# background nearly all of them; at twice the scale, four times as many.
# Only once he has been seen without his bubble: a look before may catch
# the screen half repainted from the title.
shoot_when_speaking() {
    local picture=$1 start pixels walked= shot=$work/look.png area=${AREA_SCALE:-1}
    shift
    start=$(now_ms)
    while :; do
        if [ $(( $(now_ms) - start )) -gt $((CAPTURE_SECONDS * 1000)) ]; then
            echo "$picture: no speech bubble within $CAPTURE_SECONDS s" >&2
            return 1
        fi
        sleep 0.3
        import -window root "$shot"
        pixels=$("$@" "$shot")
        if [ "$pixels" -le $((10000 * area)) ]; then
            walked=1
        elif [ -n "$walked" ] && [ "$pixels" -lt $((100000 * area)) ]; then
            break
        fi
    done
    cp "$shot" "$out/$picture"
    stop_program
}

# The tiled background alone, on a screen of the given size (1024x768
# unless given) with its pixels at a scale (1 unless given).
empty_stage() {
    local size=${2:-1024x768} scale=${3:-1}
    convert "resources/bg$1.bmp" -scale "$((100 * scale))%" "$work/tile.png"
    convert -size "$size" "tile:$work/tile.png" "$work/empty-$1.png"
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

# Starts the saver playing the shipped greeting, on the tile bg02 (on a
# screen of the given size, at a scale).
start_greeting() {
    mkdir -p "$WINEPREFIX/drive_c/Greeting"
    cp toons/greeting.ptf "$WINEPREFIX/drive_c/Greeting/"
    put_settings "Walking Style=1" 'Directory=C:\Greeting\' "Paces Walked=0"
    empty_stage 02 "$@"
    wine64 "$scr" /s >/dev/null 2>&1 &
    saver_pid=$!
    find_window "Screen Saver" >/dev/null
}

# The saver playing the shipped greeting: the first line he says.
speaking_picture() {
    start_greeting
    shoot_when_speaking saver.png foreign_pixels 02
}

# The saver speaking on a 3840 x 2160 screen at the DPI of the session,
# with the empty stage beside it.
scale_picture() {
    local scale=1
    [ "$1" = 192 ] && scale=2
    start_greeting 3840x2160 $scale
    AREA_SCALE=$((scale * scale)) shoot_when_speaking "scale-$1.png" foreign_pixels 02
    cp "$work/empty-02.png" "$out/empty-$1.png"
}

# The primary monitor of a two-monitor shot, against the empty stage.
primary_pixels() {
    convert "$2" -crop 1024x768+0+0 +repage "$work/primary.png"
    foreign_pixels "$1" "$work/primary.png"
}

# The saver speaking on the primary monitor; the second one, 800 x 600 to
# its right, is covered. The strip below it belongs to no monitor: grey.
two_monitors_picture() {
    start_greeting
    shoot_when_speaking two-monitors.png primary_pixels 02
    convert "$out/two-monitors.png" -fill '#808080' -draw 'rectangle 1024,600 1823,767' -resize 50% \
        "$out/two-monitors.png"
}

# The program's own export (/gif) of a shipped toon, at a quarter of the
# screen: walk in, every frame, walk off, with the time each picture stands.
export_picture() {
    local gif="$out/$2"
    wine64 "$scr" /gif "C:\\Toons\\$1.ptf" "Z:${gif//\//\\}" 320x240 >/dev/null 2>&1 ||
        { echo "$2: the export of $1 failed" >&2; return 1; }
    echo "$2: $(identify "$gif" | wc -l) frames, $(stat -c %s "$gif") bytes"
}

# The toon editor, opened from the configuration dialog with the shipped
# toons in its toon directory.
open_editor() {
    put_settings "Walking Style=1" 'Directory=C:\Toons\' "Paces Walked=0"
    wine64 "$scr" /c >/dev/null 2>&1 &
    saver_pid=$!
    local dialog
    dialog=$(find_window "Fizzy Pimbo Screen Saver")
    xdotool windowfocus --sync "$dialog" 2>/dev/null || true
    xdotool key alt+e                   # "&Edit Toon Files.."
    wait_for_entrance
}

# The editor's stage on the 1024 x 768 screen: its client area starts at
# (26, 43) of the centred editor. STAGE_CROP is a rectangle well inside it.
STAGE_LEFT=26
STAGE_TOP=43
STAGE_CROP=940x640+40+55

# The label of the editor's File button, black while the button is enabled.
FILE_LABEL=70x18+28+720

file_button_enabled() {
    import -window root "$work/buttons.png"
    [ "$(convert "$work/buttons.png[$FILE_LABEL]" -fill white +opaque black \
        -format '%[fx:round(w*h*(1-mean))]' info:)" -gt 20 ]
}

# Waits until Pimbo has made his entrance, which no picture is about. The
# editor locks its buttons from his first step, a second after it opens,
# until he has gone, and ignores its keys meanwhile.
wait_for_entrance() {
    local start
    start=$(now_ms)
    while file_button_enabled; do
        [ $(( $(now_ms) - start )) -lt 20000 ] || { echo "Pimbo did not walk in" >&2; return 1; }
        sleep 0.2
    done
    until file_button_enabled; do
        [ $(( $(now_ms) - start )) -lt 90000 ] || { echo "Pimbo did not walk off" >&2; return 1; }
        sleep 0.5
    done
}

# Pixels of the stage that differ between two screen shots.
stage_changes() {
    compare -metric AE -fuzz 3% "$1[$STAGE_CROP]" "$2[$STAGE_CROP]" null: 2>&1 || true
}

frame_editor_picture() {
    open_editor
    xdotool key ctrl+e                  # Edit
    find_window 'File: \[Untitled\]' >/dev/null
    sleep 1
    # Each frame: a click on the stage, then a pause, a wink, a pose and a
    # line. Escape leaves the menu bar that releasing Alt after an
    # accelerator key would select.
    local first=1 frame x y pose line
    for frame in "240 560 1 Hello there!" "520 610 9 Over here" "760 545 14 Bye"; do
        read -r x y pose line <<<"$frame"
        [ $first = 1 ] || { xdotool key alt+n; sleep 0.5; }   # New
        first=0
        xdotool mousemove $((STAGE_LEFT + x)) $((STAGE_TOP + y)) click 1
        sleep 0.5
        xdotool key alt+s Escape End BackSpace BackSpace 3 Tab space Tab
        for _ in $(seq 1 "$pose"); do xdotool key Down; done
        xdotool key alt+t
        xdotool type --delay 20 "$line"
        xdotool key alt+v                                        # Save
        sleep 0.5
    done
    sleep 1
    import -window root "$out/frame-editor.png"
    stop_program
}

editor_picture() {
    open_editor
    xdotool key ctrl+o                  # Open
    find_window "Open Toon File" >/dev/null
    sleep 1
    xdotool type --delay 20 'C:\Toons\greeting.ptf'
    xdotool key Return
    local tries=0
    while [ -n "$(visible_window "Open Toon File" 0)" ] && [ $tries -lt 100 ]; do
        sleep 0.2
        tries=$((tries + 1))
    done
    sleep 1
    import -window root "$work/stage.png"
    xdotool key alt+p                   # Play
    shoot_when_speaking editor.png stage_changes "$work/stage.png"
}

mkdir -p "$WINEPREFIX/drive_c/Toons"
cp toons/*.ptf toons/*.wav "$WINEPREFIX/drive_c/Toons/"
made=()
for picture in "$@"; do
    case $picture in
        config-dialog) config_dialog_picture; made+=("$out/config-dialog.png") ;;
        saver) speaking_picture; made+=("$out/saver.png") ;;
        walk) export_picture greeting walk.gif; made+=("$out/walk.gif") ;;
        voice) export_picture voice voice.gif; made+=("$out/voice.gif") ;;
        frame-editor) frame_editor_picture; made+=("$out/frame-editor.png") ;;
        editor) editor_picture; made+=("$out/editor.png") ;;
        two-monitors) two_monitors_picture; made+=("$out/two-monitors.png") ;;
        scale-96 | scale-192) scale_picture "${picture#scale-}"; made+=("$out/$picture.png") ;;
    esac
done
ls -l "${made[@]}"
