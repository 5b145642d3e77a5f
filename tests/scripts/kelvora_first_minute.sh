#!/bin/bash
# A new user's first minute, without a MIDI device: the program started with no arguments (the
# rc file names the audio device), Presets -> SynPiano, the string module and its effects unit
# switched on by clicking their lamps, "On" pressed, the keyboard window opened with Ctrl+K and
# C, E and G played on the computer keyboard (A, D, G). The captured sound must have those
# three pitches in that order; the program asks before the changed rack goes at Ctrl+Q and
# ends cleanly.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"

start_display
start_paced_card
echo "AudioDevice=kvpaced" >"$work/.kelvorarc"
HOME="$work" ALSA_CONFIG_PATH="$work/asoundrc" \
    LSAN_OPTIONS="suppressions=$scripts/x11_leaks.supp:print_suppressions=0" \
    "$KELVORA_PROGRAM" </dev/null >"$work/stdout" 2>"$work/stderr" &
program_pid=$!
main_window=$(timeout 20 xdotool search --sync --onlyvisible --class kelVora | head -1)
[ -n "$main_window" ] || fail "no window of class kelVora"
sleep 0.5

# Presets -> SynPiano, the sixth item.
xdotool mousemove --window "$main_window" 181 12 click 1
sleep 0.4
xdotool key Down Down Down Down Down Down Return
sleep 0.5
# The preset's effects unit lands at (160, 45) and the string module at (50, 45) in an empty
# rack; each lamp lies at (56, 12) of its icon.
xdotool mousemove --window "$main_window" $((50 + 56)) $((45 + 12)) click 1
sleep 0.2
xdotool mousemove --window "$main_window" $((160 + 56)) $((45 + 12)) click 1
sleep 0.2
press_on

xdotool windowfocus --sync "$main_window" key ctrl+k
keyboard=$(timeout 10 xdotool search --sync --onlyvisible --class kvKeyboard | head -1)
[ -n "$keyboard" ] || fail "Ctrl+K showed no keyboard window"
xdotool windowfocus --sync "$keyboard"
sleep 0.3
# C4, E4 and G4: each held for 0.7 s, then a pause.
for key in a d g; do
    xdotool keydown "$key"
    sleep 0.7
    xdotool keyup "$key"
    sleep 0.4
done
sleep 1
import -window root "$PWD/kelvora-first-minute.png" 2>/dev/null

xdotool windowfocus --sync "$main_window" key ctrl+q
answer_save_question d || fail "Ctrl+Q did not ask before the new rack went"
wait_until 20 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end at Ctrl+Q"
wait "$program_pid" || fail "exit status $?"
program_pid=
grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"

"$python" "$scripts/check_pitches.py" "$work/out.raw" 261.63 329.63 392.00 ||
    fail "the capture does not have C, E and G"
echo "PASS"
