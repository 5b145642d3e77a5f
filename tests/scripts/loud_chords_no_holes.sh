#!/bin/bash
# Loud playing never drops to digital silence: the demo (every preset playing its phrase) and
# every preset playing loud chords at master volume 4 with the limiter on are rendered, and
# no run of exact silence longer than 1 ms may lie within 50 ms of sound above 8000.
set -u
render=${KELVORA_RENDER:?KELVORA_RENDER names the kelvora-render program}
source_dir=${KELVORA_SOURCE_DIR:?}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3

# Triads and wide chords across the keyboard at full velocity, each held 0.75 s until the next
# is struck (legato: the sound never stops on its own).
"$python" - "$work/chords.mid" <<'PY' || exit 1
import struct, sys
chords = [(48, 52, 55), (60, 64, 67), (72, 76, 79), (36, 43, 48, 52, 55, 60), (41, 45, 48),
          (53, 57, 60, 65), (84, 88, 91), (43, 47, 50, 55, 59, 62)]
def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, (n & 0x7F) | 0x80)
        n >>= 7
    return bytes(out)
events = []  # (tick, bytes) at 480 ticks a quarter, 0.5 s a quarter
for i, chord in enumerate(chords * 2):
    on = i * 720
    events += [(on, bytes([0x90, k, 127])) for k in chord]
    events += [(on + 720, bytes([0x80, k, 0])) for k in chord]
# At the same time, the old chord's note-offs come before the new chord's note-ons.
events.sort(key=lambda e: (e[0], e[1][0] != 0x80))
track, last = b"", 0
for tick, data in events:
    track += vlq(tick - last) + data
    last = tick
track += b"\x00\xff\x2f\x00"
with open(sys.argv[1], "wb") as out:
    out.write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 480) + b"MTrk" + struct.pack(">I", len(track)) + track)
PY

files=("$work/demo.wav")
"$render" --demo -o "$work/demo.wav" >/dev/null || exit 1
for preset in $("$render" --help | sed -n '/Presets:/{n;s/,/ /g;p}'); do
    "$render" --preset "$preset" --volume 4 --midi "$work/chords.mid" -o "$work/$preset.wav" >/dev/null ||
        exit 1
    files+=("$work/$preset.wav")
done
[ ${#files[@]} -eq 16 ] || { echo "FAIL: expected the demo and 15 presets, got ${#files[@]} files"; exit 1; }
"$python" "$source_dir/tests/scripts/check_silence.py" "${files[@]}" || { echo "FAIL"; exit 1; }
echo "PASS"
