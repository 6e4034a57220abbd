# The processes a script starts in the background, ended by their ids when
# it exits, also those that its subshells and the scripts it runs start:
# sourced (bash), it gives
#
#   keep_pids_in DIR   where the records go (made; exported as KEPT_PIDS,
#                      so that child scripts record there too). Until a
#                      script calls it, keep_pid records nothing.
#   keep_pid PID...    records processes
#   drop_pid PID...    forgets them (stopped otherwise)
#   end_kept_pids      SIGTERM to each recorded process still running,
#                      SIGKILL to what is left a second later; forgets all
#
# for example:  keep_pids_in "$work/pids"; trap 'end_kept_pids; rm -rf "$work"' EXIT
#
# A record holds the process's start time as well, so that a pid the
# system has since given to another process is left alone. Safe under
# set -e.

. "$(dirname "${BASH_SOURCE[0]}")/await.sh"

keep_pids_in() {
    KEPT_PIDS=$1
    export KEPT_PIDS
    mkdir -p "$KEPT_PIDS"
}

keep_pid() {
    [ -n "${KEPT_PIDS:-}" ] || return 0
    local pid
    for pid in "$@"; do
        kept_start_of "$pid" >"$KEPT_PIDS/$pid" 2>/dev/null || rm -f "$KEPT_PIDS/$pid"
    done
}

drop_pid() {
    [ -n "${KEPT_PIDS:-}" ] || return 0
    local pid
    for pid in "$@"; do rm -f "$KEPT_PIDS/$pid"; done
}

end_kept_pids() {
    [ -n "${KEPT_PIDS:-}" ] && [ -d "$KEPT_PIDS" ] || return 0
    local record pid start
    KEPT_ENDING=()
    for record in "$KEPT_PIDS"/*; do
        [ -f "$record" ] || continue
        pid=${record##*/}
        start=$(cat "$record" 2>/dev/null)
        kept_running "$pid" "$start" && kill -TERM "$pid" 2>/dev/null && KEPT_ENDING+=("$pid:$start")
        rm -f "$record"
    done
    [ ${#KEPT_ENDING[@]} -gt 0 ] || return 0
    wait_until 1 kept_all_ended
    local entry
    for entry in "${KEPT_ENDING[@]}"; do
        kept_running "${entry%%:*}" "${entry#*:}" && kill -KILL "${entry%%:*}" 2>/dev/null
        # Reaps the children of this shell; returns at once for the others.
        wait "${entry%%:*}" 2>/dev/null || true
    done
    KEPT_ENDING=()
    return 0
}

kept_all_ended() {  # of KEPT_ENDING, the "PID:START" of those sent SIGTERM
    local entry
    for entry in "${KEPT_ENDING[@]}"; do
        kept_running "${entry%%:*}" "${entry#*:}" && return 1
    done
    return 0
}

# The start time of process PID (clock ticks since boot, field 22 of its
# stat); fails when there is no such process.
kept_start_of() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    # After the command name, which may hold blanks and brackets.
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    [ "$1" != Z ] && echo "${20}"
}

kept_running() {  # PID START: the process that was recorded, still running
    [ -n "$2" ] && [ "$(kept_start_of "$1" 2>/dev/null)" = "$2" ]
}
