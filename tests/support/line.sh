# The simulated line of the test scripts: sourced (bash), it gives
#
#   start_line [nullmodem options...]
#       a fresh line (the one before is stopped) with its two ends at
#       $LINE_DIR/a and $LINE_DIR/b, LINE_DIR being the script's work
#       folder; its pid in LINE_PID. The project's nullmodem (NULLMODEM,
#       run for at most 900 s), else a plain socat pty pair without the
#       options. A script cannot go on without its line: one that does
#       not start ends the script (1).
#   stop_line
#       ends it.
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/cable.sh"
LINE_PID=""

start_line() {
    stop_line
    local dir=${LINE_DIR:?LINE_DIR names the folder of the line\'s ends}
    rm -f "$dir/a" "$dir/b"
    if [ -n "${NULLMODEM:-}" ] && [ -x "$NULLMODEM" ]; then
        cable_start "$NULLMODEM" "$dir/a" "$dir/b" "$dir/line.out" --max-seconds 900 "$@" || exit 1
        LINE_PID=$CABLE_PID
        return 0
    fi
    socat pty,raw,echo=0,link="$dir/a" pty,raw,echo=0,link="$dir/b" 2>"$dir/line.out" &
    LINE_PID=$!
    keep_pid "$LINE_PID"
    wait_until 5 test -e "$dir/a" -a -e "$dir/b" && return 0
    echo "line did not start: $(cat "$dir/line.out")" >&2
    exit 1
}

stop_line() {
    cable_stop "$LINE_PID"
    LINE_PID=""
}
