#!/bin/bash
# The GUI thread's load with all three editors open and controllers sweeping (see
# EditorLoad.cpp), at 100 % and at 200 % on a 3200x2000 X display of its own.
#   bench/gui/editor_load_scales.sh [program] [seconds]   (default build/bench/kelvora_editor_load, 10)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$(realpath "${1:-$root/build/bench/kelvora_editor_load}")
seconds=${2:-10}
for scale in 1 2; do
    echo "== UI scale $((scale * 100)) %"
    KELVORA_SCALE=$scale xvfb-run -a -s "-screen 0 3200x2000x24" "$program" "$seconds"
done
