#!/bin/bash
# Every window of the program, opened as a user opens it, at 100 % on a 1280x1024 screen and at
# 200 % (KELVORA_SCALE=2) on a 3200x2000 screen: the main window, the three editors and both
# controller mapping windows, the configuration, About and keyboard windows, and the question
# a changed rack asks before it is cleared (Ctrl+N). Each must come up at its size at factor 1
# times the scale; each is captured as a screenshot (in $KELVORA_SHOT_DIR, or here), and the
# program must end cleanly through Ctrl+Q.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"
shots="${KELVORA_SHOT_DIR:-$PWD}"

scale=1
px() { echo $(($1 * scale)); }

# The window named $1 (a pattern of its title), waited for.
window_named() {
    timeout 10 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}

# Checks that window $2 is $3 x $4 at factor 1 times the scale, and captures it as $1. A
# height of 0 takes the height the window has at factor 1 (text measured by the font) and
# expects it scaled from then on.
declare -A measured
check_window() {
    local name=$1 id=$2 w=$(px "$3") h=$(px "$4") geometry width height
    [ -n "$id" ] || fail "no $name window at ${scale}00 %"
    geometry=$(xwininfo -id "$id")
    width=$(awk '/Width:/ {print $2}' <<<"$geometry")
    height=$(awk '/Height:/ {print $2}' <<<"$geometry")
    if [ "$4" = 0 ]; then
        [ "$scale" = 1 ] && measured[$name]=$height
        h=$(px "${measured[$name]}")
    fi
    [ "$width" = "$w" ] && [ "$height" = "$h" ] ||
        fail "the $name window is ${width}x$height at ${scale}00 %, not ${w}x$h"
    xdotool windowmove --sync "$id" 0 0 2>/dev/null
    xdotool windowraise "$id" 2>/dev/null
    sleep 0.4
    import -window "$id" "$shots/window-$name-${scale}00.png" 2>/dev/null ||
        fail "no screenshot of the $name window"
    echo "${scale}00 %: $name ${width}x$height"
}

# Opens the menu whose title stands at x (factor 1) in the window's menu bar and picks its
# item number n (from 1) with the arrow keys.
pick() {
    xdotool mousemove --window "$1" "$(px "$2")" "$(px 12)" click 1
    sleep 0.4
    for ((i = 0; i < $3; i++)); do xdotool key Down; done
    xdotool key Return
    sleep 0.3
}

# The popup menu of the module whose icon's corner is at (x, y) at factor 1: its first item.
open_editor() {
    xdotool mousemove --window "$main_window" "$(px $(($1 + 12)))" "$(px $(($2 + 50)))" click 3
    sleep 0.5
    xdotool key Down Return
    sleep 0.3
}

# Help -> Midi Controller Mapping in editor $1 (its File menu, then one menu to the right):
# the mapping window named $2. On a busy machine the keys may reach the menu before it is
# open; the menu is then closed and opened again.
open_mapping() {
    local id
    for attempt in 1 2 3; do
        xdotool mousemove --window "$1" "$(px 20)" "$(px 15)" click 1
        sleep 0.4
        xdotool key Right Down Return
        id=$(timeout 4 xdotool search --sync --onlyvisible --name "$2" 2>/dev/null | head -1)
        [ -n "$id" ] && break
        xdotool key Escape Escape
        sleep 0.3
    done
    echo "$id"
}

# Closes window $1 with the Escape key.
escape() {
    xdotool windowfocus --sync "$1" key Escape 2>/dev/null
    sleep 0.3
}

run_at() {
    scale=$1
    start_display "$2"
    start_paced_card
    KELVORA_SCALE=$scale start_program "$scripts/data/organ.mst"
    check_window main "$main_window" 594 374

    # Presets -> Clarinet (the 14th item) adds a flute and its effects unit, placed below the
    # organ's pair, which stands at (50, 45) and (160, 45).
    pick "$main_window" 181 14
    open_editor 50 45
    check_window string "$(window_named '^KV String')" 599 425
    # Help -> Midi Controller Mapping: the editor's File menu, then one menu to the right.
    editor=$(window_named '^KV String')
    check_window string-mapping "$(open_mapping "$editor" '^String Synth Midi')" 424 347
    escape "$(window_named '^String Synth Midi')"
    escape "$editor"
    open_editor 160 45
    check_window effects "$(window_named '^KV Effects')" 980 280
    escape "$(window_named '^KV Effects')"
    open_editor 50 126
    editor=$(window_named '^KV Flute')
    check_window flute "$editor" 600 335
    check_window flute-mapping "$(open_mapping "$editor" '^Flute Synth Midi')" 424 297
    escape "$(window_named '^Flute Synth Midi')"
    escape "$editor"

    pick "$main_window" 72 1
    check_window configuration "$(window_named '^Kelvora Configuration')" 408 358
    escape "$(window_named '^Kelvora Configuration')"
    pick "$main_window" 20 5
    check_window about "$(window_named '^About')" 364 229
    escape "$(window_named '^About')"
    xdotool windowfocus --sync "$main_window" key ctrl+k
    check_window keyboard "$(window_named '^Keyboard')" 560 222
    escape "$(window_named '^Keyboard')"
    # The rack changed (a preset was added): clearing it asks first; Escape cancels.
    xdotool windowfocus --sync "$main_window" key ctrl+n
    check_window question "$(window_named '^Save changes')" 460 0
    answer_save_question Escape
    xdotool windowmove --sync "$main_window" 0 0
    sleep 0.3
    import -window root "$shots/window-all-${scale}00.png" 2>/dev/null

    xdotool windowfocus --sync "$main_window" key ctrl+q
    answer_save_question d || fail "Ctrl+Q did not ask before the changed rack went"
    wait_until 20 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end at Ctrl+Q"
    wait "$program_pid" || fail "exit status $?"
    program_pid=
    grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"
    kill "$reader_pid" "$xvfb_pid" 2>/dev/null
    wait "$reader_pid" "$xvfb_pid" 2>/dev/null
    reader_pid=
    xvfb_pid=
    exec 4>&-
    rm -f "$work/midi" "$work/pcm" "$work/display"
}

run_at 1 1280x1024
run_at 2 3200x2000
echo "PASS"
