#!/bin/bash
# Processor time of the GUI (main) thread while audio runs at period 128 and notes keep the
# meters moving: the program on its own X display, a file device paced at the card's rate,
# the Organ preset playing a phrase over and over. Prints each run's share of one core over
# 10 s and their median.
#   bench/gui_cpu.sh [program] [runs]     (default build/kelvora, 3 runs)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
KELVORA_PROGRAM=$(realpath "${1:-$root/build/kelvora}")
KELVORA_SOURCE_DIR=$root
runs=${2:-3}
source "$root/tests/scripts/program_harness.bash"

# user + system clock ticks of the thread tid of process pid
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/task/$2/stat"; }

start_display
hz=$(getconf CLK_TCK)
results=()
for ((run = 1; run <= runs; run++)); do
    rm -f "$work/midi" "$work/pcm" "$work/out.raw"
    start_paced_card
    start_program "$scripts/data/organ.mst"
    press_on
    "$python" "$scripts/play_midi.py" "$work/midi" 4 &
    player=$!
    sleep 2
    before=$(ticks "$program_pid" "$program_pid")
    sleep 10
    after=$(ticks "$program_pid" "$program_pid")
    share=$(awk -v t=$((after - before)) -v hz="$hz" 'BEGIN { printf "%.2f", 100 * t / hz / 10 }')
    seconds=$(awk -v b="$(stat -c %s "$work/out.raw")" 'BEGIN { printf "%.1f", b / 176400 }')
    echo "run $run: GUI thread $share % of one core ($seconds s of audio played)"
    results+=("$share")
    kill "$player" "$program_pid" "$reader_pid" 2>/dev/null
    wait "$player" "$program_pid" "$reader_pid" 2>/dev/null
    program_pid=
    reader_pid=
    exec 4>&-
    sleep 2
done
printf '%s\n' "${results[@]}" | sort -n | awk '{ v[NR] = $1 } END { print "median:", v[int((NR + 1) / 2)], "% of one core" }'
