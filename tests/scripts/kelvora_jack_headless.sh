#!/bin/bash
# The program headless on JACK, as a box beside a keyboard runs it: started with -x, -a jack and
# a rack file (one string module at its defaults) and without any X display, on a server of the
# test's own at 48000 and at 96000 Hz. An A4 (over JACK MIDI at 48000 Hz, through the MIDI FIFO
# at 96000 Hz) must sound at the pitch kelvora-render gives the same rack at the server's rate,
# within 1 cent; SIGTERM must end the program with status 0 within a second.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ] || [ -z "${KELVORA_RENDER:-}" ]; then
    echo "kelvora or kelvora-render is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"
source "$KELVORA_SOURCE_DIR/tests/scripts/jack_harness.bash"
rack="$scripts/data/default_string.mst"

"$python" - "$work/a4.mid" <<'PY' || fail "could not write the MIDI file"
import struct, sys
track = bytes([0, 0x90, 69, 100, 0x8B, 0x20, 0x80, 69, 0, 0, 0xFF, 0x2F, 0])  # off at 1440
with open(sys.argv[1], "wb") as out:
    out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
    out.write(b"MTrk" + struct.pack(">I", len(track)) + track)
PY

for rate in 48000 96000; do
    "$KELVORA_RENDER" --rack "$rack" --midi "$work/a4.mid" --rate "$rate" \
        -o "$work/reference.wav" >/dev/null || fail "kelvora-render failed"
    start_jack "$rate" 256
    rm -f "$work/midi" "$work/recording.wav"
    mkfifo "$work/midi"
    env -u DISPLAY HOME="$work" "$KELVORA_PROGRAM" -x -a jack -i "$work/midi" "$rack" \
        </dev/null >"$work/stdout" 2>"$work/stderr" &
    program_pid=$!
    exec 4>"$work/midi"
    # The recording client is written in Python and may lose periods on a busy machine: a
    # measurement that fails is taken again, up to three times.
    for attempt in 1 2 3; do
        if [ "$rate" = 48000 ]; then
            "$python" "$scripts/jack_client.py" "$jack_server" Kelvora "$work/recording.wav" 2.5 \
                69 1.5 || fail "the JACK test client failed"
        else
            "$python" "$scripts/jack_client.py" "$jack_server" Kelvora "$work/recording.wav" 2.5 &
            client_pid=$!
            sleep 1
            printf '\x90\x45\x64' >&4
            sleep 1
            printf '\x80\x45\x00' >&4
            wait "$client_pid" || fail "the JACK test client failed"
        fi
        "$python" "$scripts/check_pitch.py" "$work/recording.wav" wav "$work/reference.wav" 440 &&
            break
        [ "$attempt" != 3 ] ||
            fail "the A4 at $rate Hz is not at the pitch of the same rack rendered at $rate Hz"
        echo "measuring the A4 at $rate Hz again"
    done

    kill -TERM "$program_pid"
    wait_until 1 bash -c "! kill -0 $program_pid 2>/dev/null" ||
        fail "the program did not end within a second of SIGTERM"
    wait "$program_pid"
    status=$?
    program_pid=
    exec 4>&-
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
    grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"
    grep -q "audio is on" "$work/stderr" || fail "no word that audio is on"
    stop_jack
done
echo "PASS"
