# Waiting for what another process does, for every script that starts
# one: sourced (bash), it gives
#
#   await_text FILE PATTERN [SECONDS [PID]]
#       until FILE holds a line that matches PATTERN (an extended regular
#       expression, as grep -E takes it): 0, or 1 after SECONDS (default
#       5), or at once when process PID has ended without writing it.
#   await_size FILE BYTES [SECONDS]
#       until FILE is at least BYTES long (a receiver's file growing):
#       0, or 1 after SECONDS (default 5).
#   wait_until SECONDS COMMAND...
#       runs COMMAND until it succeeds (0) or SECONDS (whole) have passed (1),
#       once more at the end; every AWAIT_STEP seconds (default 0.02).
#
# Both count real time: a loaded machine gets fewer looks, not a shorter
# wait. Safe under set -e.

wait_until() {
    local seconds=$1
    shift
    local deadline=$(( $(await_now_us) + seconds * 1000000 ))
    while ! "$@"; do
        if [ "$(await_now_us)" -ge "$deadline" ]; then
            "$@" && return 0
            return 1
        fi
        sleep "${AWAIT_STEP:-0.02}"
    done
}

await_text() {
    local file=$1 pattern=$2 seconds=${3:-5} pid=${4:-}
    wait_until "$seconds" await_text_or_end "$file" "$pattern" "$pid" &&
        grep -qE -- "$pattern" "$file" 2>/dev/null
}

await_size() {
    wait_until "${3:-5}" await_size_reached "$1" "$2"
}

await_size_reached() {  # FILE BYTES
    [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ]
}

await_text_or_end() {  # FILE PATTERN PID
    grep -qE -- "$2" "$1" 2>/dev/null || { [ -n "$3" ] && await_ended "$3"; }
}

await_ended() {  # PID: gone, or a child of ours that has ended and waits to be reaped
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    [[ ${stat##*) } == Z* ]]
}

await_now_us() {
    local now=${EPOCHREALTIME/[.,]/}
    echo "${now:-$(($(date +%s) * 1000000))}"
}
