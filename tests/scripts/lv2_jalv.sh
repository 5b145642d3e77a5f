#!/bin/bash
# End to end with a real host: jalv runs "Kelvora String" under a dummy JACK server of its own,
# loading the SynPiano preset's state (its ports and patch texts, as the bundle describes them)
# from a state directory; a JACK MIDI client plays an A4 into it and records its output, whose
# pitch is the renderer's for the same preset and note at the server's rate.
set -u
if [ -z "${KELVORA_LV2_BUNDLE:-}" ] || [ ! -f "$KELVORA_LV2_BUNDLE/manifest.ttl" ] ||
    [ -z "${KELVORA_RENDER:-}" ]; then
    echo "the LV2 bundle or the renderer is not built"
    exit 77
fi
for tool in jackd jack_wait jalv; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
/usr/bin/python3 -c "import jack, numpy" 2>/dev/null || { echo "python3-jack-client is not installed"; exit 77; }

scripts="$(cd "$(dirname "$0")" && pwd)"
work=$(mktemp -d /tmp/kelvora-jalv-XXXXXX)
server=
jackd_pid=
jalv_pid=
cleanup() {
    exec 3>&- 2>/dev/null
    [ -n "$jalv_pid" ] && kill "$jalv_pid" 2>/dev/null
    [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
# A killed server keeps its entry in the servers' registry until a server of the same name
# starts: the name comes from the small pool the other JACK tests share, held with a lock.
for i in 0 1 2 3 4 5; do
    exec {server_lock}>"${TMPDIR:-/tmp}/kelvora-test-$i.lock" || continue
    if flock -n "$server_lock"; then
        server="kelvora-test-$i"
        break
    fi
    exec {server_lock}>&-
done
[ -n "$server" ] || { echo "FAIL: no free name for a JACK server"; exit 1; }
export JACK_DEFAULT_SERVER="$server" JACK_NO_AUDIO_RESERVATION=1
export LV2_PATH="$(dirname "$KELVORA_LV2_BUNDLE")"
if nm -D "$KELVORA_LV2_BUNDLE/kelvora.so" | grep -q __asan_init; then
    jalv_preload="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
else
    jalv_preload=
fi

# True once the server answers; false when jackd ends first or after 10 s.
start_jackd() {
    jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
    jackd_pid=$!
    local i
    for ((i = 0; i < 100; i++)); do
        [ "$(jack_wait -c 2>/dev/null)" = running ] && return 0
        kill -0 "$jackd_pid" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}
# The registry (in /dev/shm) has room for 8 servers. When stale entries of other names fill it
# and no jackd of this user runs, nothing uses it: it is removed and the server tries again.
registry=/dev/shm/jack-shm-registry
if ! start_jackd; then
    if grep -qi "too many servers" "$work/jackd.log" && [ -O "$registry" ] &&
        command -v pgrep >/dev/null && ! pgrep -u "$(id -u)" -x jackd >/dev/null; then
        echo "the JACK servers' registry is full of stale entries: removing it"
        rm -f "$registry"
        start_jackd || { echo "FAIL: the dummy JACK server did not start"; cat "$work/jackd.log"; exit 1; }
    else
        echo "FAIL: the dummy JACK server did not start"
        cat "$work/jackd.log"
        exit 1
    fi
fi

# A saved state as jalv loads it: the preset's description as the state of the directory.
mkdir "$work/state"
{
    grep "^@prefix" "$KELVORA_LV2_BUNDLE/presets.ttl"
    awk '/^<urn:kelvora:preset:SynPiano>/ { on = 1; print "<>"; next }
         on { print } on && /\] \.$/ { exit }' "$KELVORA_LV2_BUNDLE/presets.ttl"
} >"$work/state/state.ttl"
grep -q "state#instrument" "$work/state/state.ttl" || { echo "FAIL: no SynPiano preset in the bundle"; exit 1; }

# jalv reads its commands from a FIFO kept open until the end.
mkfifo "$work/commands"
LD_PRELOAD="$jalv_preload" ASAN_OPTIONS=detect_leaks=0 \
    jalv -l "$work/state" -n kelvora-jalv "urn:kelvora:string" <"$work/commands" >"$work/jalv.log" 2>&1 &
jalv_pid=$!
exec 3>"$work/commands"

# The recording client is written in Python and may lose periods on a busy machine: a
# recording whose pitch is off is taken once more before the test fails.
play() {
    /usr/bin/python3 "$scripts/lv2_jalv_client.py" kelvora-jalv "$work/played.wav" 2.0 ||
        { echo "FAIL: the JACK client could not play"; cat "$work/jalv.log"; exit 1; }
    kill -0 "$jalv_pid" 2>/dev/null || { echo "FAIL: jalv stopped"; cat "$work/jalv.log"; exit 1; }
}
play

# The renderer's A4 with the same preset at the same rate.
/usr/bin/python3 - "$work/a4.mid" <<'PY'
import sys
track = bytes([0x00, 0x90, 69, 100, 0x8F, 0x00, 0x80, 69, 0, 0x00, 0xFF, 0x2F, 0x00])
header = b"MThd" + (6).to_bytes(4, "big") + (0).to_bytes(2, "big") + (1).to_bytes(2, "big") + (480).to_bytes(2, "big")
open(sys.argv[1], "wb").write(header + b"MTrk" + len(track).to_bytes(4, "big") + track)
PY
(cd "$work" && "$KELVORA_RENDER" --preset SynPiano --midi a4.mid --rate 48000 --tail 0.5 \
    -o rendered.wav >/dev/null) || { echo "FAIL: the renderer failed"; exit 1; }
if ! /usr/bin/python3 "$scripts/check_pitch.py" "$work/played.wav" wav "$work/rendered.wav" 440 1.0; then
    echo "recording again"
    play
    /usr/bin/python3 "$scripts/check_pitch.py" "$work/played.wav" wav "$work/rendered.wav" 440 1.0 ||
        { echo "FAIL: jalv's recording has not the renderer's pitch"; cat "$work/jalv.log"; exit 1; }
fi
if grep -Ei "error|failed" "$work/jalv.log"; then
    echo "FAIL: jalv reported a failure"
    exit 1
fi
echo "jalv played Kelvora String's A4 at the renderer's pitch"
