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

# Starts jackd at the rate $1 with the period $2; exports JACK_DEFAULT_SERVER.
start_jack() {
    jack_server="kelvora-e2e-$$-$1-$RANDOM"
    jackd -n "$jack_server" -d dummy -r "$1" -p "$2" >"$work/jackd.log" 2>&1 &
    jack_pid=$!
    export JACK_DEFAULT_SERVER="$jack_server"
    wait_until 10 jack_lsp >/dev/null 2>&1 || fail "jackd did not start"
}
