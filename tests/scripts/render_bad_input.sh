#!/usr/bin/env bash
# kelvora-render refuses bad input with a clear message and exit status 1, writes no sound
# file and never crashes.
set -u
render=${KELVORA_RENDER:?KELVORA_RENDER names the kelvora-render program}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect_refusal DESCRIPTION MESSAGE ARGUMENTS...
expect_refusal() {
    local what=$1 message=$2
    shift 2
    rm -f out.wav
    "$render" -o out.wav "$@" >stdout.txt 2>stderr.txt
    local status=$?
    [ "$status" -eq 1 ] || fail "$what: exit status $status instead of 1"
    grep -q '^kelvora-render: ' stderr.txt && grep -qF -- "$message" stderr.txt ||
        fail "$what: no \"$message\" in: $(cat stderr.txt)"
    [ ! -e out.wav ] || fail "$what: a sound file was written"
    ! grep -qE 'Sanitizer|runtime error|Assertion' stderr.txt ||
        fail "$what: $(cat stderr.txt)"
}

printf 'MThd\0\0\0\6\0\1\0\2\1\340MTrk\0\0\0\100\0\220' >truncated.mid
printf 'MThd\0\0\0\6\0\2\0\1\1\340MTrk\0\0\0\4\0\377\57\0' >type2.mid
printf 'MThd\0\0\0\6\0\0\0\1\347\50MTrk\0\0\0\4\0\377\57\0' >smpte.mid
echo "just some text" >notes.mid
echo "kelvora-stat 1" >old.mst
echo "19 1 2 3" >patch.txt
echo "15 0 100" >hall.efx
mkdir folder.mst

expect_refusal "unknown preset" 'unknown preset "Tuba"' --preset Tuba
expect_refusal "period too short" 'bad --period "8"' --period 8
expect_refusal "period not a number" 'bad --period "12x"' --period 12x
expect_refusal "volume too high" 'bad --volume "5"' --volume 5
expect_refusal "rate too low" 'bad --rate "8000": a sample rate of 22050..192000 Hz' --rate 8000
expect_refusal "rate not a number" 'bad --rate "48k"' --rate 48k
expect_refusal "negative tail" 'bad --tail "-1"' --tail -1
expect_refusal "endless tail" 'bad --tail "inf"' --tail inf
expect_refusal "missing MIDI file" 'cannot read missing.mid' --midi missing.mid
expect_refusal "text as MIDI file" 'notes.mid is not a readable Standard MIDI File' --midi notes.mid
expect_refusal "truncated MIDI file" 'truncated.mid is not a readable' --midi truncated.mid
expect_refusal "type 2 MIDI file" 'type 2 MIDI files are not supported' --midi type2.mid
expect_refusal "SMPTE MIDI file" 'SMPTE time division is not supported' --midi smpte.mid
expect_refusal "missing rack file" 'cannot read missing.mst' --rack missing.mst
expect_refusal "not a rack file" 'old.mst is not a Kelvora rack file' --rack old.mst
expect_refusal "directory as rack" 'folder.mst is not a Kelvora rack file (not a regular file)' \
    --rack folder.mst
expect_refusal "missing patch" 'cannot read gone.pst' --patch gone.pst
expect_refusal "unknown patch kind" 'cannot tell the module of patch.txt' --patch patch.txt
expect_refusal "effects patch alone" 'needs an instrument patch before it' --patch hall.efx
expect_refusal "rack and preset" '--rack cannot be combined' --rack old.mst --preset Organ
expect_refusal "demo and MIDI" '--demo and --midi cannot be combined' --demo --midi notes.mid
expect_refusal "unknown option" 'unknown option --loud' --loud
expect_refusal "missing value" 'option --period needs a value' --period
expect_refusal "stray argument" 'unexpected argument "song.mid"' song.mid
expect_refusal "unwritable output" 'cannot write /nonexistent-dir/x.wav' \
    --preset AnalogTom --tail 0 -o /nonexistent-dir/x.wav
presets=()
for i in $(seq 17); do presets+=(--preset AnalogTom); done
expect_refusal "more presets than channels" 'at most 16' "${presets[@]}"

"$render" --help >help.txt 2>&1 || fail "--help: exit status $?"
grep -q '^Usage: kelvora-render' help.txt || fail "--help: no usage line"
grep -q -- '--no-limiter' help.txt || fail "--help: options missing"
grep -q 'saturate' help.txt && ! grep -q 'wrap' help.txt ||
    fail "--help: --no-limiter must say that loud signals saturate"

[ "$failures" -eq 0 ] && echo "all refusals as expected"
exit $((failures > 0))
