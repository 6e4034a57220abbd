# The simulated cable (nullmodem) for every script that needs one: sourced,
# it starts a cable with its two ends published as links and waits for its
# "ready" line, or stops it.
#
#   cable_start NULLMODEM END-A END-B OUTPUT [nullmodem options...]
#       nullmodem's standard output goes to OUTPUT, its errors to
#       OUTPUT.err; on success the cable's pid is in CABLE_PID, and kept
#       (processes.sh) for the script's exit trap. Fails (1) with the
#       cable's errors on standard error when it did not start.
#   cable_stop PID
#       ends it (SIGTERM, which removes its links) and waits for it.
# Sourcing it also gives processes.sh and await.sh.
. "$(dirname "${BASH_SOURCE[0]}")/processes.sh"

cable_start() {
    local program=$1 end_a=$2 end_b=$3 output=$4
    shift 4
    rm -f "$output"
    "$program" --a "$end_a" --b "$end_b" "$@" >"$output" 2>"$output.err" &
    CABLE_PID=$!
    keep_pid "$CABLE_PID"
    await_text "$output" '^ready$' 5 "$CABLE_PID" && return 0
    echo "simulated cable did not start: $(cat "$output.err" 2>/dev/null)" >&2
    return 1
}

cable_stop() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    drop_pid "$1"
    return 0
}
