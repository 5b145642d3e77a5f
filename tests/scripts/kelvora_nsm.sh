#!/bin/bash
# Kelvora with its window under a session manager played by nsm_manager.py, on a JACK server
# of the test's own: announce, open (the session's rack loaded, the JACK client named after the
# client id), save without a dialog, dirty and clean, hide and show, SIGTERM.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
source "$KELVORA_SOURCE_DIR/tests/scripts/program_harness.bash"
source "$KELVORA_SOURCE_DIR/tests/scripts/jack_harness.bash"
start_display
start_jack 48000 256
export LSAN_OPTIONS="suppressions=$scripts/x11_leaks.supp:print_suppressions=0"
"$python" "$scripts/nsm_manager.py" "$KELVORA_PROGRAM" "$work" "$scripts/data/default_string.mst" ||
    fail "the session went wrong"
grep -q "Sanitizer" "$work/stderr" && fail "sanitizer report"
echo "PASS"
