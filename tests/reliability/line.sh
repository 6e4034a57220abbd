# Shared by the reliability scripts: a simulated line between two ptys,
# the project's nullmodem when it is there, else socat.
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/cable.sh"

# start_line DIR [nullmodem options...] -> ends DIR/a and DIR/b; LINE_PID.
start_line() {
    local dir=$1
    shift
    rm -f "$dir/a" "$dir/b" "$dir/line.out"
    if [ -n "${NULLMODEM:-}" ] && [ -x "$NULLMODEM" ]; then
        cable_start "$NULLMODEM" "$dir/a" "$dir/b" "$dir/line.out" --max-seconds 900 "$@" || return 1
        LINE_PID=$CABLE_PID
        return 0
    else
        socat pty,raw,echo=0,link="$dir/a" pty,raw,echo=0,link="$dir/b" 2>"$dir/line.out" &
        LINE_PID=$!
        for _ in $(seq 1 250); do
            [ -e "$dir/a" ] && [ -e "$dir/b" ] && return 0
            sleep 0.02
        done
    fi
    echo "line did not start: $(cat "$dir/line.out")" >&2
    return 1
}

stop_line() {
    cable_stop "${LINE_PID:-}"
    LINE_PID=""
}
