#!/usr/bin/env bash
# A real bootloader as the receiving board: U-Boot (Debian's build for
# QEMU's arm64 "virt" machine) with its console on end B of the simulated
# line. Each case boots it, stops the autoboot, types loady or loadx as an
# operator would, lets blockxfer send an image from end A, then asks U-Boot
# for the CRC-32 of what it stored and compares it with the file's.
#
# Then the sample script doc/uboot-flash.sh does the whole job itself: it
# stops the autoboot, types loady (or loadx), sends, and compares the CRC-32
# that U-Boot reports with the file's. It loads at the console's 115200:
# after U-Boot 2023.01 in QEMU has changed its UART's rate for "loady ADDR
# BAUD" it answers nothing, neither the CR nor ESC, so the switch is tested
# against fakeboard (baudswitch.sh).
#
# Faults are held back while the console is used (nullmodem --faults-from
# usr1) and switched on for the transfer only, so that seeded damage hits
# the protocol and not the typed commands.
#
# Needs BLOCKXFER and NULLMODEM; qemu-system-aarch64 and u-boot-qemu.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/uboot_board.sh"

# upload NAME LOADCMD SENDMODE SIZE [nullmodem options...]: a random image
# of SIZE bytes sent into a freshly booted board, with the faults on for the
# transfer only; its exit status in STATUS, its seconds in TOOK.
upload() {
    local name=$1 load=$2 mode=$3 size=$4
    shift 4
    head -c "$size" /dev/urandom > "$WORK/image"
    if ! boot_board "$load" "$@"; then
        check "$name: U-Boot waits for the upload" false
        return 1
    fi
    kill -USR1 "$LINE_PID"
    local started=$SECONDS
    "$BLOCKXFER" -p"$WORK/a" "$mode" "$WORK/image" > "$WORK/send.out" 2>&1
    STATUS=$?
    TOOK=$((SECONDS - started))
    kill -USR1 "$LINE_PID"
    echo "$name: $TOOK s"
}

# send_case NAME LOADCMD SENDMODE SIZE [nullmodem options...]
send_case() {
    local name=$1 size=$4
    upload "$@" || return
    expect_eq "$name: blockxfer's exit status ($(tail -c 120 "$WORK/send.out" | tr '\r\n' '  '))" 0 "$STATUS"
    # X-Modem stores whole blocks; the CRC covers the file's own length.
    expect_eq "$name: U-Boot's CRC-32 of what arrived" "$(file_crc "$WORK/image")" "$(board_crc "$size")"
}

# cut_case NAME SENDMODE: the cable breaks in the middle of the data. U-Boot
# keeps asking for the block (a "C" every 4 s or so), so the sender spends
# its ten transmissions and gives up with -201 (55 to a shell).
cut_case() {
    local name=$1
    upload "$name" loady "$2" 20000 --cut-ab 9000 || return
    expect_eq "$name: exit status after the cut" 55 "$STATUS"
    check "$name: message names the retries" grep -q "Error during file transfer. Error -201" "$WORK/send.out"
    check "$name: gave up within 60 s (took $TOOK s)" test "$TOOK" -le 60
}

# script_case NAME [-x]: the sample script against a freshly booted board.
script_case() {
    local name=$1
    shift
    stop_board
    start_line --baud 115200 --latency-ms 1
    head -c 40000 /dev/urandom > "$WORK/image.bin"
    # The script's first blockxfer listens before U-Boot prints its offer.
    (sleep 0.5; exec "$QEMU" -M virt -cpu cortex-a53 -m 128 -nographic -nic none -monitor none \
        -bios "$UBOOT" -chardev "tty,id=console,path=$WORK/b" -serial chardev:console) \
        < /dev/null > "$WORK/qemu.out" 2>&1 &
    QEMU_PID=$!
    (cd "$WORK" && BLOCKXFER=$BLOCKXFER "$here/../../doc/uboot-flash.sh" "$@" "$WORK/a" image.bin 115200) \
        > "$WORK/script.out" 2>&1
    local status=$?
    expect_eq "$name: the script's exit status ($(tail -c 200 "$WORK/script.out" | tr '\r\n' '  '))" 0 "$status"
    check "$name: U-Boot's CRC-32 matched the file's" grep -q "CRC-32 $(file_crc "$WORK/image.bin") matches" \
        "$WORK/script.out"
    tail -1 "$WORK/script.out"
}

require_board

send_case "-sy into loady, clean line" loady -sy 30000
send_case "-sk into loadx, clean line" loadx -sk 30000
send_case "-sy into loady, flips and drops both ways" loady -sy 30000 \
    --seed 3 --flip-ab 2e-4 --flip-ba 2e-3 --drop-ab 1e-4 --drop-ba 2e-3
send_case "-sk into loadx, flips and drops both ways" loadx -sk 30000 \
    --seed 5 --flip-ab 2e-4 --flip-ba 2e-3 --drop-ab 1e-4 --drop-ba 2e-3
cut_case "-sy into loady, cable cut" -sy
script_case "the sample script with loady"
script_case "the sample script with loadx" -x
finish
