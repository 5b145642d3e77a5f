#!/bin/bash
# The real program's exit statuses and messages on the command-line paths that end it before
# a window opens.
set -u
if [ -z "${KELVORA_PROGRAM:-}" ]; then
    echo "kelvora is not built"
    exit 77
fi
work=$(mktemp -d /tmp/kelvora-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
export HOME="$work"
failures=0

# expect STATUS TEXT ARGS...: runs the program with ARGS (standard input from /dev/null
# unless redirected by the caller) and checks the status and that standard error holds TEXT.
expect() {
    local want=$1 text=$2
    shift 2
    "$KELVORA_PROGRAM" "$@" 2>"$work/err" </dev/null
    check "$?" "$want" "$text" "$*"
}
check() {
    if [ "$1" -ne "$2" ] || ! grep -qF -- "$3" "$work/err"; then
        echo "FAIL: '$4' gave status $1 (expected $2) and:"
        cat "$work/err"
        failures=$((failures + 1))
    fi
}

expect 255 "this help" --help
expect 255 "this help" -h
expect 255 "this help" --no-such-option
expect 255 "this help" -f
expect 255 "audio period size set to: 16" -f 5 --help
expect 255 "audio period size set to: 256" -m anything -f 1000 -h
expect 0 "direct connect to midi device is not supported." -i /dev/null
expect 255 "Can't open input device $work/none." -i "$work/none"

printf '\x90\x3c\x40' >"$work/notes.mid"
"$KELVORA_PROGRAM" 2>"$work/err" <"$work/notes.mid"
check "$?" 255 "Can't read input from a regular file." "< regular file"

[ "$failures" -eq 0 ] && echo PASS
exit "$failures"
