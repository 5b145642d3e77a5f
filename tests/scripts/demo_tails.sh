#!/usr/bin/env bash
# The demo as `make demo` renders it: every preset's segment must end in its own tail (the
# final half second of each segment peaks below 2000 of 32767), so no preset's sound runs on
# into the next one.
set -u
render=${KELVORA_RENDER:?KELVORA_RENDER names the kelvora-render program}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$render" --demo -o "$work/demo.wav" >/dev/null || { echo "FAIL: the demo did not render"; exit 1; }
/usr/bin/python3 "${KELVORA_SOURCE_DIR:?}/tests/scripts/demo_tails.py" "$work/demo.wav" --limit 2000
