#!/bin/bash
# The LV2 bundle with Debian's own tools: lv2ls lists the three plugins, lv2info shows every
# released port of each without a warning, every Turtle file parses and validates against
# the installed specifications, and lv2bench runs each plugin.
set -u
if [ -z "${KELVORA_LV2_BUNDLE:-}" ] || [ ! -f "$KELVORA_LV2_BUNDLE/manifest.ttl" ]; then
    echo "the LV2 bundle is not built"
    exit 77
fi
for tool in lv2ls lv2info lv2bench serdi sord_validate; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d /tmp/kelvora-lv2-tools-XXXXXX)
trap 'rm -rf "$work"' EXIT
export LV2_PATH="$(dirname "$KELVORA_LV2_BUNDLE")"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# An instrumented plugin (a sanitizer build) needs its runtime in the tools that load it.
if nm -D "$KELVORA_LV2_BUNDLE/kelvora.so" | grep -q __asan_init; then
    export LD_PRELOAD="$(gcc -print-file-name=libasan.so):$(gcc -print-file-name=libubsan.so)"
    export ASAN_OPTIONS=detect_leaks=0
fi

lv2ls >"$work/ls" 2>"$work/err" || fail "lv2ls failed"
[ -s "$work/err" ] && { fail "lv2ls warned:"; cat "$work/err"; }
for plugin in string flute effects; do
    grep -qx "urn:kelvora:$plugin" "$work/ls" || fail "lv2ls does not list urn:kelvora:$plugin"
done

released="$KELVORA_SOURCE_DIR/tests/data/lv2_ports.txt"
for plugin in string flute effects; do
    lv2info "urn:kelvora:$plugin" >"$work/info" 2>"$work/err" || fail "lv2info $plugin failed"
    [ -s "$work/err" ] && { fail "lv2info $plugin warned:"; cat "$work/err"; }
    # plugin index symbol, as lv2info shows them
    awk -v p="$plugin" '/^\tPort [0-9]+:/ { i = $2; sub(":", "", i) } /^\t\tSymbol:/ { print p, i, $2 }' \
        "$work/info" >"$work/shown"
    grep "^$plugin " "$released" >"$work/expected"
    diff "$work/expected" "$work/shown" >/dev/null || {
        fail "lv2info $plugin ports differ from the released list:"
        diff "$work/expected" "$work/shown" | head -20
    }
    lv2bench -n 48000 -b 512 "urn:kelvora:$plugin" >"$work/bench" 2>"$work/err" ||
        fail "lv2bench $plugin failed"
    grep -q "urn:kelvora:$plugin" "$work/bench" || { fail "lv2bench did not run $plugin"; cat "$work/err"; }
    [ -s "$work/err" ] && { fail "lv2bench $plugin warned:"; cat "$work/err"; }
done

for ttl in "$KELVORA_LV2_BUNDLE"/*.ttl; do
    serdi -i turtle -o ntriples "$ttl" >/dev/null 2>"$work/err" || fail "serdi cannot read $ttl"
    [ -s "$work/err" ] && { fail "serdi warned on $ttl:"; cat "$work/err"; }
done
sord_validate /usr/lib/lv2/*.lv2/*.ttl "$KELVORA_LV2_BUNDLE"/*.ttl >"$work/valid" 2>&1
grep -q "^Found 0 errors" "$work/valid" || { fail "sord_validate:"; grep -A4 "^error" "$work/valid" | head -30; }

[ "$failures" -eq 0 ] && echo "lv2ls, lv2info, lv2bench, serdi and sord_validate agree with the bundle"
exit $((failures > 0))
