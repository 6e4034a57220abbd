#!/bin/bash
# Shows that a transfer allocates nothing per block: blockxfer sends a file
# of 1 MiB and one of 16 MiB to a blockxfer receiving (Y-Modem, over an
# unthrottled simulated line), each with a malloc counter preloaded. Both
# sides must count the same allocations for both sizes, and the files
# must arrive whole. The same again with both ends writing a line trace
# (BLOCKXFER_TRACE), with 1 and 2 MiB (a trace is three times the data).
# Prints the figures.
#
# Needs BLOCKXFER and ALLOC_COUNTER (the preload library); NULLMODEM is
# used when set, else socat.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/line.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/allocs.XXXXXX")
LINE_DIR=$work
# The line, then the programs still running in the background, by their ids.
trap 'stop_line; jobs -p | xargs -r kill 2>/dev/null; rm -rf "$work"' EXIT

status=0
declare -A counts

# measure NAME MIB TRACED: one transfer; its counts in counts[tx-NAME] and
# counts[rx-NAME].
measure() {
    local name=$1 mib=$2 traced=$3
    local tx_trace="" rx_trace=""
    if [ "$traced" = yes ]; then
        tx_trace="$work/tx-$name.trace"
        rx_trace="$work/rx-$name.trace"
    fi
    head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/sent-$name.bin"
    start_line
    mkdir -p "$work/in-$name"
    (cd "$work/in-$name" && BLOCKXFER_TRACE="$rx_trace" ALLOC_COUNT_FILE="$work/rx-$name" \
        LD_PRELOAD="$ALLOC_COUNTER" "$BLOCKXFER" -p"$work/a" -r -t10 >"$work/rx-$name.out" 2>&1) &
    local rx=$!
    (cd "$work" && BLOCKXFER_TRACE="$tx_trace" ALLOC_COUNT_FILE="$work/tx-$name" \
        LD_PRELOAD="$ALLOC_COUNTER" "$BLOCKXFER" -p"$work/b" -sy "sent-$name.bin" >"$work/tx-$name.out" 2>&1)
    local tx_status=$?
    wait $rx
    local rx_status=$?
    stop_line
    if [ $tx_status -ne 0 ] || [ $rx_status -ne 0 ] ||
        ! cmp -s "$work/sent-$name.bin" "$work/in-$name/sent-$name.bin"; then
        echo "FAIL: $name transfer (sender $tx_status, receiver $rx_status)" >&2
        tail -c 300 "$work/tx-$name.out" "$work/rx-$name.out" >&2
        status=1
        return
    fi
    if [ "$traced" = yes ] && ! grep -q ' result 0 sent$' "$tx_trace"; then
        echo "FAIL: $name: the sender's trace is not complete" >&2
        status=1
    fi
    counts[tx-$name]=$(cat "$work/tx-$name")
    counts[rx-$name]=$(cat "$work/rx-$name")
    echo "$name: sender ${counts[tx-$name]}; receiver ${counts[rx-$name]}"
    rm -f "$tx_trace" "$rx_trace"
}

# same SMALL LARGE: both sides counted as many allocations for both runs.
same() {
    for side in tx rx; do
        a=$(echo "${counts[$side-$1]:-}" | cut -d' ' -f2)
        b=$(echo "${counts[$side-$2]:-}" | cut -d' ' -f2)
        if [ -z "$a" ] || [ "$a" != "$b" ]; then
            echo "FAIL: $side allocations differ: ${a:-none} for $1, ${b:-none} for $2" >&2
            status=1
        fi
    done
}

# Names become file names, sent in a Y-Modem header (lower case, no blanks).
measure 1mib 1 no
measure 16mib 16 no
same 1mib 16mib
measure 1mib-traced 1 yes
measure 2mib-traced 2 yes
same 1mib-traced 2mib-traced
[ $status -eq 0 ] && echo "same number of allocations for each pair of sizes on both sides"
exit $status
