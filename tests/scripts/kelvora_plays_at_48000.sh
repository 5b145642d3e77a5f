#!/bin/bash
# The synthesizer at 48000 Hz: the real program started with -r 48000 on a paced card that
# takes 48000 stereo frames a second, a rack with one string module at its default settings,
# an A4 played through the MIDI FIFO. The captured note must sound at the pitch the renderer
# gives the same rack at 44100 Hz, within 1 cent.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ] || [ -z "${KELVORA_RENDER:-}" ]; then
    echo "kelvora or kelvora-render is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"
rack="$scripts/data/default_string.mst"

# The reference: the same rack and note rendered at 44100 Hz.
"$python" - "$work/a4.mid" <<'PY' || fail "could not write the MIDI file"
import struct, sys
track = bytes([0, 0x90, 69, 100, 0x8B, 0x20, 0x80, 69, 0, 0, 0xFF, 0x2F, 0])  # off at 1440
with open(sys.argv[1], "wb") as out:
    out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480))
    out.write(b"MTrk" + struct.pack(">I", len(track)) + track)
PY
"$KELVORA_RENDER" --rack "$rack" --midi "$work/a4.mid" -o "$work/reference.wav" >/dev/null ||
    fail "kelvora-render failed"

start_display
start_paced_card 192000
start_program "$rack" -r 48000
press_on
printf '\x90\x45\x64' >&4
sleep 1.5
printf '\x80\x45\x00' >&4
sleep 1
exit_program

"$python" "$scripts/check_pitch.py" "$work/out.raw" 48000 "$work/reference.wav" 440 ||
    fail "the A4 at 48000 Hz is not at the pitch of the same rack at 44100 Hz"
echo "PASS"
