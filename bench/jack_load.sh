#!/bin/bash
# The JACK process callback's cost with 24 string voices sounding, and the xruns the server
# reports: the release program headless on a dummy server of its own (48000 Hz, period 64 by
# default), a 24-voice string module struck again every 1.5 s through the MIDI FIFO (24 keys at
# once), for SECONDS of sound. Prints the program's closing line: the callback's mean and
# largest share of a period, and the xruns, with the mean in microseconds.
#   bench/jack_load.sh [seconds] [period] [program]   (default 20 s, 64 frames, build/kelvora)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
period=${2:-64}
program=$(realpath "${3:-$root/build/kelvora}")
rate=48000
work=$(mktemp -d /tmp/kelvora-jack-load-XXXXXX)
jack_pid=
program_pid=
cleanup() {
    exec 4>&- 2>/dev/null
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
    [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

sed 's/^\[ 1 50 45 0 1 8$/[ 1 50 45 0 1 24/' "$root/tests/scripts/data/default_string.mst" \
    >"$work/rack.mst"
export JACK_DEFAULT_SERVER="kelvora-load-$$"
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r "$rate" -p "$period" >"$work/jackd.log" 2>&1 &
jack_pid=$!
for ((i = 0; i < 100; i++)); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
mkfifo "$work/midi"
"$program" -x -a jack --no-autoconnect -i "$work/midi" "$work/rack.mst" \
    </dev/null >/dev/null 2>"$work/stderr" &
program_pid=$!
exec 4>"$work/midi"
end=$((SECONDS + seconds))
while [ "$SECONDS" -lt "$end" ]; do
    for key in $(seq 48 71); do printf "\\x80\\x$(printf %x "$key")\\x00\\x90\\x$(printf %x "$key")\\x64"; done >&4
    sleep 1.5
done
kill -TERM "$program_pid"
wait "$program_pid"
program_pid=
line=$(grep "^JACK:" "$work/stderr")
echo "period $period at $rate Hz, 24 voices, $seconds s: $line"
mean=$(echo "$line" | sed -n 's/.*took \([0-9.]*\) % of a period on average.*/\1/p')
[ -n "$mean" ] && awk -v m="$mean" -v p="$period" -v r="$rate" \
    'BEGIN { printf "mean cost of the process callback: %.1f us of a %.0f us period\n", m / 100 * p / r * 1e6, p / r * 1e6 }'
