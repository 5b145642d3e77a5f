#!/bin/bash
# Processor time of the GUI (main) thread while audio runs at period 128 and notes keep the
# meters moving: the program on its own X display, a file device paced at the card's rate,
# the Organ preset playing a phrase over and over. Prints each run's share of one core over
# 10 s and their median.
#   bench/gui_cpu.sh [program] [runs]     (default build/kelvora, 3 runs)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$root/build/kelvora}")
runs=${2:-3}
scripts="$root/tests/scripts"
python=/usr/bin/python3
work=$(mktemp -d /tmp/kelvora-guicpu-XXXXXX)
pids=()
cleanup() {
    exec 4>&- 2>/dev/null
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# user + system clock ticks of the thread tid of process pid
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/task/$2/stat"; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for ((i = 0; i < 100; i++)); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
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

hz=$(getconf CLK_TCK)
results=()
for ((run = 1; run <= runs; run++)); do
    rm -f "$work/midi" "$work/pcm"
    mkfifo "$work/midi"
    "$python" "$scripts/paced_reader.py" "$work/pcm" "$work/out.raw" &
    pids+=($!)
    for ((i = 0; i < 100; i++)); do [ -p "$work/pcm" ] && break; sleep 0.1; done
    HOME="$work" ALSA_CONFIG_PATH="$work/asoundrc" "$program" -f 128 -o kvpaced -i "$work/midi" \
        "$scripts/data/organ.mst" </dev/null >/dev/null 2>"$work/stderr" &
    pid=$!
    pids+=($pid)
    exec 4>"$work/midi"
    window=$(timeout 20 xdotool search --sync --onlyvisible --class kelVora | head -1)
    sleep 0.5
    xdotool mousemove --window "$window" 535 14 click 1
    "$python" "$scripts/play_midi.py" "$work/midi" 4 &
    player=$!
    pids+=($player)
    sleep 2
    before=$(ticks "$pid" "$pid")
    sleep 10
    after=$(ticks "$pid" "$pid")
    share=$(awk -v t=$((after - before)) -v hz="$hz" 'BEGIN { printf "%.2f", 100 * t / hz / 10 }')
    seconds=$(awk -v b="$(stat -c %s "$work/out.raw")" 'BEGIN { printf "%.1f", b / 176400 }')
    echo "run $run: GUI thread $share % of one core ($seconds s of audio played)"
    results+=("$share")
    kill "$player" "$pid" 2>/dev/null
    wait "$player" "$pid" 2>/dev/null
    exec 4>&-
    sleep 2
done
printf '%s\n' "${results[@]}" | sort -n | awk '{ v[NR] = $1 } END { print "median:", v[int((NR + 1) / 2)], "% of one core" }'
