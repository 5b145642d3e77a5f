# Shared by the scripts that run the program on JACK: a server of the script's own (jackd's
# dummy driver under a name no other test uses), stopped at the end also when the script
# fails. Sourced after program_harness.bash.
jack_pid=
jack_server=

stop_jack() {
    [ -n "$jack_pid" ] && kill "$jack_pid" 2>/dev/null && wait "$jack_pid" 2>/dev/null
    jack_pid=
}
trap 'stop_jack; cleanup' EXIT

# The servers' registry has room for a few servers only, and a killed server keeps its entry
# until a server of the same name starts: names come from a small pool shared with the C++
# tests, each held with a lock while the script runs.
take_jack_name() {
    local i
    for i in 0 1 2 3 4 5; do
        exec {jack_lock}>"${TMPDIR:-/tmp}/kelvora-test-$i.lock" || continue
        if flock -n "$jack_lock"; then
            jack_server="kelvora-test-$i"
            return 0
        fi
        exec {jack_lock}>&-
    done
    fail "no free name for a JACK server"
}

# Starts jackd at the rate $1 with the period $2; exports JACK_DEFAULT_SERVER.
start_jack() {
    [ -n "$jack_server" ] || take_jack_name
    jackd -n "$jack_server" -d dummy -r "$1" -p "$2" >"$work/jackd.log" 2>&1 &
    jack_pid=$!
    export JACK_DEFAULT_SERVER="$jack_server"
    wait_until 10 jack_lsp >/dev/null 2>&1 || fail "jackd did not start"
}
