#!/bin/bash
# valgrind memcheck over one end-to-end transfer: a blockxfer receiving
# (Y-Modem) and a blockxfer sending a 256 KiB file and then capturing the
# line's silence into a log, both under memcheck, over a simulated line.
# Fails on any memcheck error, on any lost block (definite, indirect or
# possible), or when the file does not arrive whole. Prints the heap
# summaries.
#
# Needs BLOCKXFER and valgrind; NULLMODEM is used when set, else socat.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/line.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/memcheck.XXXXXX")
LINE_DIR=$work
# The line, then the programs still running in the background, by their ids.
trap 'stop_line; jobs -p | xargs -r kill 2>/dev/null; rm -rf "$work"' EXIT
memcheck=(valgrind --tool=memcheck --error-exitcode=99 --leak-check=full
          --show-leak-kinds=all --errors-for-leak-kinds=definite,indirect,possible)

head -c $((256 * 1024)) /dev/urandom >"$work/fw.bin"
mkdir -p "$work/in"
start_line
(cd "$work/in" && "${memcheck[@]}" --log-file="$work/rx.vg" "$BLOCKXFER" -p"$work/a" -r -t20 \
    >"$work/rx.out" 2>&1) &
rx=$!
(cd "$work" && "${memcheck[@]}" --log-file="$work/tx.vg" "$BLOCKXFER" -p"$work/b" -sy fw.bin \
    -lfLOG -lt1 >"$work/tx.out" 2>&1)
tx_status=$?
wait $rx
rx_status=$?

status=0
for side in tx rx; do
    summary=$(grep -E "total heap usage|ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable|All heap blocks" "$work/$side.vg" | sed 's/^==[0-9]*== *//')
    echo "$side: $(echo "$summary" | tr '\n' ';' | sed 's/;$//')"
done
if [ $tx_status -ne 0 ] || [ $rx_status -ne 0 ]; then
    echo "FAIL: sender $tx_status, receiver $rx_status (99 is a memcheck error)" >&2
    cat "$work/tx.vg" "$work/rx.vg" | grep -v "^==[0-9]*== *$" | head -60 >&2
    status=1
fi
if ! cmp -s "$work/fw.bin" "$work/in/fw.bin"; then
    echo "FAIL: received file differs" >&2
    status=1
fi
[ $status -eq 0 ] && echo "memcheck: no errors, no leaks, file identical"
exit $status
