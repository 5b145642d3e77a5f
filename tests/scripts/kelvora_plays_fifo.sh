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
scripts="$KELVORA_SOURCE_DIR/tests/scripts"
python=/usr/bin/python3
work=$(mktemp -d /tmp/kelvora-e2e-XXXXXX)
xvfb_pid=
program_pid=
reader_pid=

cleanup() {
    exec 4>&- 2>/dev/null
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- program's standard error:"
    cat "$work/stderr" 2>/dev/null
    exit 1
}

# Waits up to $1 seconds for the command to succeed.
wait_until() {
    local seconds=$1
    shift
    for ((i = 0; i < seconds * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# --- an X display of our own ---
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

# --- a sound card that takes 44100 stereo frames a second ---
cat >"$work/asoundrc" <<RC
<confdir:alsa.conf>
pcm.kvnull { type null }
pcm.kvpaced {
    type file
    slave.pcm "kvnull"
    file "$work/pcm"
    format "raw"
}
RC
"$python" "$scripts/paced_reader.py" "$work/pcm" "$work/out.raw" &
reader_pid=$!
wait_until 10 test -p "$work/pcm" || fail "no paced reader"

mkfifo "$work/midi"
HOME="$work" ALSA_CONFIG_PATH="$work/asoundrc" \
    LSAN_OPTIONS="suppressions=$scripts/x11_leaks.supp:print_suppressions=0" \
    "$KELVORA_PROGRAM" -o kvpaced -i "$work/midi" "$scripts/data/organ.mst" \
    </dev/null >"$work/stdout" 2>"$work/stderr" &
program_pid=$!
# The program waits in its open of the FIFO until a writer comes; this one stays until the end.
exec 4>"$work/midi"

window=$(timeout 20 xdotool search --sync --onlyvisible --class kelVora | head -1)
[ -n "$window" ] || fail "no window of class kelVora"
sleep 0.5
xdotool mousemove --window "$window" 535 14 click 1
wait_until 10 test -s "$work/out.raw" || fail "\"On\" did not start the audio"

"$python" "$scripts/play_midi.py" "$work/midi" || fail "could not play the MIDI bytes"
sleep 2.5
import -window "$window" "$PWD/kelvora-window.png" 2>/dev/null

# File -> "Exit" (the sixth item of the menu): audio off, then the program ends.
xdotool mousemove --window "$window" 20 12 click 1
sleep 0.5
xdotool mousemove --window "$window" 20 144 click 1
wait_until 20 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end at Exit"
wait "$program_pid"
status=$?
program_pid=
[ "$status" -eq 0 ] || fail "exit status $status"
grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"
grep -q "midi input fifo detected." "$work/stderr" || fail "the FIFO was not taken as MIDI input"

"$python" "$scripts/check_notes.py" "$work/out.raw" || fail "the capture does not sound as played"
echo "PASS"
