# Shared by the scripts that run the real program: its own X display, a sound card replaced by
# a file device whose pipe takes the samples at the card's rate, a MIDI FIFO, and the program
# started on them. Sourced; the sourcing script sets $KELVORA_PROGRAM and $KELVORA_SOURCE_DIR.
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

# An X display of our own, 1280x1024 or the size $1 ("3200x2000"); exports DISPLAY.
start_display() {
    Xvfb -displayfd 3 -screen 0 "${1:-1280x1024}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(head -1 "$work/display")"
}

# A sound card "kvpaced" that takes 44100 stereo frames a second (or $1 bytes a second); the
# samples go to $work/out.raw.
start_paced_card() {
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
    "$python" "$scripts/paced_reader.py" "$work/pcm" "$work/out.raw" ${1:+"$1"} &
    reader_pid=$!
    wait_until 10 test -p "$work/pcm" || fail "no paced reader"
}

# Starts the program on the paced card with the rack file $1 (and any further options) and the
# MIDI FIFO $work/midi, held open for writing on descriptor 4 until the end; sets $main_window
# to its main window.
start_program() {
    mkfifo "$work/midi"
    HOME="$work" ALSA_CONFIG_PATH="$work/asoundrc" \
        LSAN_OPTIONS="suppressions=$scripts/x11_leaks.supp:print_suppressions=0" \
        "$KELVORA_PROGRAM" -o kvpaced -i "$work/midi" "${@:2}" "$1" \
        </dev/null >"$work/stdout" 2>"$work/stderr" &
    program_pid=$!
    # The program waits in its open of the FIFO until a writer comes.
    exec 4>"$work/midi"
    main_window=$(timeout 20 xdotool search --sync --onlyvisible --class kelVora | head -1)
    [ -n "$main_window" ] || fail "no window of class kelVora"
    sleep 0.5
}

# Presses "On" in the main window (at a whole-number KELVORA_SCALE, where that puts it) and
# waits for the first samples.
press_on() {
    local scale=${KELVORA_SCALE:-1}
    xdotool mousemove --window "$main_window" $((535 * scale)) $((14 * scale)) click 1
    wait_until 10 test -s "$work/out.raw" || fail "\"On\" did not start the audio"
}

# Answers the question "Save changes?" with the key $1 ("d" Discard, "s" Save, Escape Cancel)
# when the box comes within two seconds; false when it does not come.
answer_save_question() {
    local box
    box=$(timeout 2 xdotool search --sync --onlyvisible --name "^Save changes" 2>/dev/null | head -1)
    [ -n "$box" ] || return 1
    xdotool windowfocus --sync "$box" key "$1"
}

# File -> "Exit" (the sixth item of the menu, chosen with the arrow keys), discarding the
# rack's changes when asked: audio off, then the program must end with status 0 and without a
# sanitizer report.
exit_program() {
    xdotool mousemove --window "$main_window" 20 12 click 1
    sleep 0.5
    xdotool key Down Down Down Down Down Down Return
    answer_save_question d
    wait_until 20 bash -c "! kill -0 $program_pid 2>/dev/null" || fail "the program did not end at Exit"
    wait "$program_pid"
    local status=$?
    program_pid=
    [ "$status" -eq 0 ] || fail "exit status $status"
    grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"
    return 0
}
