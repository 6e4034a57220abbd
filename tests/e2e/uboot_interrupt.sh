#!/usr/bin/env bash
# U-Boot's loady as the receiving board, its sender interrupted: SIGINT and
# SIGTERM to the sending blockxfer bring U-Boot back to its prompt within
# 2 s, in every phase in which loady honours a cancel:
#   start   while it still asks for the header: only within 2 s of each of
#           its "C"s (and in the 0.75 s before the next); in the 2 s between
#           it throws its input away, a cancel included. The signal comes
#           0.5 s after loady's first "C".
#   header  after the header, while it waits for the first block.
#   data    in the middle of the data.
# One board for all cases: each one types loady at the prompt that the
# last one brought back. Prints "stop loady MS" for each case.
#
# Needs BLOCKXFER and NULLMODEM; qemu-system-aarch64 and u-boot-qemu.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/uboot_board.sh"
require_board
head -c $((100 * 1024)) /dev/urandom > "$WORK/image"

# until_phase WHEN: the sender's progress has reached the phase.
until_phase() {
    case $1 in
    start) sleep 0.5 ;;
    header) await_text "$WORK/trace" "^[0-9.]* start C" 20 && sleep 0.5 ;;
    data) wait_until 20 sent_at_least 16384 ;;
    esac
}

# sent_at_least BYTES: the sender's progress line has counted that much.
sent_at_least() {
    [ "$(tr '\r' '\n' < "$WORK/send.out" | tail -n 1 | awk '{print $1 + 0}')" -ge "$1" ]
}

# interrupt WHEN SIGNAL
interrupt() {
    local name="$1, SIG$2"
    console_open || return 1
    printf '\r' >&3
    console_wait "=> " 10 && printf 'loady\r' >&3 && console_wait "bps..." 10 || {
        check "$name: loady waits for the upload" false
        return 1
    }
    # The console stays open: what U-Boot prints while blockxfer holds the
    # port waits there.
    rm -f "$WORK/trace"
    env --default-signal=INT BLOCKXFER_TRACE="$WORK/trace" "$BLOCKXFER" -p"$WORK/a" -sy "$WORK/image" \
        > "$WORK/send.out" 2> "$WORK/send.err" &
    local pid=$!
    check "$name: the phase is reached" until_phase "$1"
    local t0
    t0=$(date +%s%N)
    kill -s "$2" $pid
    wait $pid
    local status=$?
    console_wait "=> " 5
    local ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    echo "stop loady $ms ms ($name)"
    expect_eq "$name: blockxfer's status" $((128 + $(kill -l "$2"))) $status
    check "$name: U-Boot took the cancel" grep -q Cancelled <<< "$CONSOLE_SEEN"
    check "$name: back at its prompt within 2 s (took $ms ms)" test $ms -le 2000
    exec 3<&-
}

boot_board "echo booted" || { check "U-Boot boots" false; finish; exit; }
for when in start header data; do
    interrupt $when INT
    interrupt $when TERM
done
finish
