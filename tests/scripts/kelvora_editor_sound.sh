#!/bin/bash
# An editor window as a musician uses it: the real program on its own X display with a rack
# holding one string module, "On" pressed; the module's popup menu "Open" must show the
# editor window at its size with its title. While a note is played again and again through
# the MIDI FIFO, the "volume" slider is dragged down with the mouse: the captured level must
# fall clearly at once. The program must end cleanly through "Exit" with the editor still open.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"
shots="${KELVORA_SHOT_DIR:-$PWD}"
notes_pid=
trap '[ -n "$notes_pid" ] && kill "$notes_pid" 2>/dev/null; cleanup' EXIT

stop_notes() {
    [ -n "$notes_pid" ] || return 0
    touch "$work/stop-notes"
    wait "$notes_pid"
    notes_pid=
    printf '\x80\x39\x40' >&4
}

captured() {
    stat -c %s "$work/out.raw"
}

# Waits until the capture has grown to $1 bytes; 176400 bytes are one second.
wait_for_capture() {
    wait_until 60 bash -c "[ \$(stat -c %s '$work/out.raw') -ge $1 ]" ||
        fail "the capture stopped growing at $(captured) bytes"
}

visible_windows() {
    xdotool search --onlyvisible --name '' 2>/dev/null | wc -l
}

start_display
start_paced_card
start_program "$scripts/data/organ_string.mst"
press_on

# Right click on the string module's icon (placed at 50, 45), clear of its channel box, lamp and
# socket, then "Open", the first item of the menu that pops up at the mouse.
before=$(visible_windows)
xdotool mousemove --window "$main_window" 62 90 click 3
wait_until 20 bash -c "[ \$(xdotool search --onlyvisible --name '' 2>/dev/null | wc -l) -gt $before ]" ||
    fail "no popup menu on the module icon"
sleep 0.3
xdotool mousemove_relative 25 9 click 1
editor=$(timeout 20 xdotool search --sync --onlyvisible --class kvString | head -1)
[ -n "$editor" ] || fail "\"Open\" showed no window of class kvString"

geometry=$(xwininfo -id "$editor")
width=$(awk '/Width:/ {print $2}' <<<"$geometry")
height=$(awk '/Height:/ {print $2}' <<<"$geometry")
title=$(xdotool getwindowname "$editor")
echo "editor window: ${width}x${height} \"$title\""
[ "$width" = 599 ] && [ "$height" = 425 ] || fail "editor window is ${width}x${height}, not 599x425"
[ "$title" = "KV String Synthesizer   (Organ)" ] || fail "editor window titled \"$title\""
# Beside the main window, so that a screenshot shows both.
xdotool windowmove --sync "$editor" 620 0 2>/dev/null || xdotool windowmove "$editor" 620 0
sleep 0.5

# A3 held for 0.4 s every half second until told to stop.
(
    while [ ! -e "$work/stop-notes" ]; do
        printf '\x90\x39\x64' >&4
        sleep 0.4
        printf '\x80\x39\x40' >&4
        sleep 0.1
    done
) &
notes_pid=$!
wait_for_capture $(($(captured) + 3 * 176400))

# "volume" (0..5, at 3.6 in this patch) is the slider at 410, 60 of "Output and note control",
# 115 x 20 with its value box on the left: its knob stands near x 498. Dragged left to about 1.
change_start=$(captured)
xdotool mousemove --window "$editor" 498 70 mousedown 1
for x in 490 482 474 466; do
    sleep 0.05
    xdotool mousemove --window "$editor" "$x" 70
done
xdotool mouseup 1
change_end=$(captured)
wait_for_capture $((change_end + 3 * 176400))
import -window root "$shots/e2e-editor.png" 2>/dev/null
play_end=$(captured)
stop_notes

exit_program
"$python" "$scripts/check_level_change.py" "$work/out.raw" "$change_start" "$change_end" \
    "$play_end" 2.0 || fail "the drag did not lower the sound"
echo "PASS"
