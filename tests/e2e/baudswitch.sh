#!/usr/bin/env bash
# U-Boot's rate switch for "loady ADDR BAUD", against the simulated board
# (fakeboard --uboot plays U-Boot's texts) over a cable that follows the rate
# each end sets and garbles bytes while they disagree (nullmodem --baud
# follow). U-Boot in QEMU cannot take part: after it has changed its UART's
# rate it answers nothing at all. The sample script doc/uboot-flash.sh runs
# the whole job; a sender that does not follow the switch must fail.
#
# Needs BLOCKXFER, NULLMODEM and FAKEBOARD.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
SCRIPT=$here/../../doc/uboot-flash.sh
BOARD_PID=""

# start_board LOG: the board prints its banner once the first blockxfer
# listens, which it does from when it has made its LOG.
start_board() {
    start_line --baud follow
    rm -f "$WORK/$1"
    (wait_until 10 test -e "$WORK/$1"
        exec "$FAKEBOARD" --port "$WORK/b" --uboot --start-timeout 15 --max-seconds 120) > "$WORK/board.out" 2>&1 &
    BOARD_PID=$!
}

stop_board() {
    [ -n "$BOARD_PID" ] && kill "$BOARD_PID" 2>/dev/null && wait "$BOARD_PID" 2>/dev/null
    BOARD_PID=""
}

# script_case NAME SIZE [-x] RATE
script_case() {
    local name=$1 size=$2 stored=$2
    shift 2
    # X-Modem stores whole blocks.
    [ "$1" = -x ] && stored=$(( (size + 127) / 128 * 128 ))
    head -c "$size" /dev/urandom > "$WORK/image.bin"
    start_board uboot-boot.log
    (cd "$WORK" && BLOCKXFER=$BLOCKXFER "$SCRIPT" "${@:1:$#-1}" "$WORK/a" image.bin "${@: -1}") \
        > "$WORK/script.out" 2>&1
    local status=$?
    stop_board
    expect_eq "$name: the script's exit status ($(tail -c 200 "$WORK/script.out" | tr '\r\n' '  '))" 0 "$status"
    check "$name: the script names the match" grep -q "CRC-32 [0-9a-f]\{8\} matches" "$WORK/script.out"
    check "$name: the board's own report" grep -q "upload ok: $stored bytes" "$WORK/board.out"
    check "$name: back at the first rate, the console answered ESC with its prompt" \
        grep -q $'press ESC ...\r\n=> ' "$WORK/uboot-load.log"
}

script_case "loady through the switch to 921600" 200000 921600
script_case "loadx through the switch to 460800" 50000 -x 460800
script_case "loady at the console's own rate" 20000 115200

# Without --follow-baud-switch the sender stays at 115200 and the board's
# opening characters at 921600 reach it garbled: no start.
head -c 20000 /dev/urandom > "$WORK/image.bin"
start_board boot.log
(cd "$WORK" && "$BLOCKXFER" -p"$WORK/a" -lfboot.log -lx"Hit any key" -lt10 > /dev/null &&
    "$BLOCKXFER" -p"$WORK/a" --send-line "" -lfprompt.log -lx"=> " -lt5 > /dev/null &&
    "$BLOCKXFER" -p"$WORK/a" --send-line 'loady ${loadaddr} 921600' -t1 -sy image.bin) > "$WORK/missed.out" 2>&1
status=$?
stop_board
expect_eq "a missed switch: no opening character at 115200 (-200)" 56 "$status"
finish
