#!/bin/bash
# The synthesizer as a musician runs it: the real program on its own X display, a rack file
# named on the command line, "On" pressed with the mouse, MIDI bytes written in real time into
# the FIFO given with -i, and the sound card replaced by a file device whose pipe takes the
# samples at the card's rate. The captured samples must sound at the notes' pitches and fall
# silent after the note-offs; the program must end cleanly through "Exit".
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"

start_display
start_paced_card
start_program "$scripts/data/organ.mst"
press_on

"$python" "$scripts/play_midi.py" "$work/midi" || fail "could not play the MIDI bytes"
sleep 2.5
import -window "$main_window" "$PWD/kelvora-window.png" 2>/dev/null

exit_program
grep -q "midi input fifo detected." "$work/stderr" || fail "the FIFO was not taken as MIDI input"

"$python" "$scripts/check_notes.py" "$work/out.raw" || fail "the capture does not sound as played"
echo "PASS"
