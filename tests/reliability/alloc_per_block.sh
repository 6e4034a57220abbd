#!/bin/bash
# Shows that a transfer allocates nothing per block: blockxfer sends a file
# of 1 MiB and one of 16 MiB to a blockxfer receiving (Y-Modem, over an
# unthrottled simulated line), each with a malloc counter preloaded. Both
# sides must count the same allocations for both sizes, and the files
# must arrive whole. Prints the figures.
#
# Needs BLOCKXFER and ALLOC_COUNTER (the preload library); NULLMODEM is
# used when set, else socat.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/line.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/allocs.XXXXXX")
trap 'stop_line; rm -rf "$work"' EXIT

status=0
declare -A counts
for mib in 1 16; do
    head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/sent-$mib.bin"
    start_line "$work" || exit 1
    mkdir -p "$work/in-$mib"
    (cd "$work/in-$mib" && ALLOC_COUNT_FILE="$work/rx-$mib" LD_PRELOAD="$ALLOC_COUNTER" \
        "$BLOCKXFER" -p"$work/a" -r -t10 >"$work/rx-$mib.out" 2>&1) &
    rx=$!
    (cd "$work" && ALLOC_COUNT_FILE="$work/tx-$mib" LD_PRELOAD="$ALLOC_COUNTER" \
        "$BLOCKXFER" -p"$work/b" -sy "sent-$mib.bin" >"$work/tx-$mib.out" 2>&1)
    tx_status=$?
    wait $rx
    rx_status=$?
    stop_line
    if [ $tx_status -ne 0 ] || [ $rx_status -ne 0 ] ||
        ! cmp -s "$work/sent-$mib.bin" "$work/in-$mib/sent-$mib.bin"; then
        echo "FAIL: $mib MiB transfer (sender $tx_status, receiver $rx_status)" >&2
        tail -c 300 "$work/tx-$mib.out" "$work/rx-$mib.out" >&2
        status=1
        continue
    fi
    counts[tx-$mib]=$(cat "$work/tx-$mib")
    counts[rx-$mib]=$(cat "$work/rx-$mib")
    echo "$mib MiB: sender ${counts[tx-$mib]}; receiver ${counts[rx-$mib]}"
done
[ $status -eq 0 ] || exit 1
for side in tx rx; do
    a=$(echo "${counts[$side-1]}" | cut -d' ' -f2)
    b=$(echo "${counts[$side-16]}" | cut -d' ' -f2)
    if [ "$a" != "$b" ]; then
        echo "FAIL: $side allocations differ: $a for 1 MiB, $b for 16 MiB" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "same number of allocations for 1 MiB and 16 MiB on both sides"
exit $status
