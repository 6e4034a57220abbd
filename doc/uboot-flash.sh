#!/bin/sh
# Programs a board that runs a stock U-Boot, from its serial console and
# with no person at a terminal:
#   1. waits for U-Boot's "Hit any key to stop autoboot" and stops it;
#   2. types "loady ${loadaddr} RATE" and sends IMAGE by Y-Modem at RATE,
#      following U-Boot's switch to RATE and back (--follow-baud-switch);
#   3. asks U-Boot for the CRC-32 of what it stored and compares it with
#      the file's.
# The exit status is 0 only when the two match.
#
#   uboot-flash.sh [-x] PORT IMAGE [RATE]
#
# PORT as blockxfer's -p takes it (a number, or a device path on Linux).
# RATE: the load rate, default 921600; the console's own 115200 loads
# without a switch. -x loads with loadx and X-Modem-1K instead; X-Modem
# stores whole blocks, so the CRC then covers the file's own length rather
# than ${filesize}. Start the script, then power the board on or reset it.
# BLOCKXFER names the program (default: blockxfer on the PATH); BOOT_SECONDS
# how long to wait for U-Boot (default 60). Each step leaves its console
# text in uboot-*.log in the working folder.
set -u
xmodem=0
if [ "${1:-}" = -x ]; then
    xmodem=1
    shift
fi
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 [-x] PORT IMAGE [RATE]" >&2
    exit 2
fi
port=$1 image=$2 rate=${3:-921600}
bx=${BLOCKXFER:-blockxfer}

fail() {
    echo "uboot-flash: $*" >&2
    exit 1
}

# The zlib/IEEE CRC-32 of a file, as U-Boot's crc32 prints it: the gzip
# trailer holds it, little-endian.
file_crc() {
    gzip -c < "$1" | tail -c 8 | head -c 4 | od -An -tx1 | awk '{ print $4 $3 $2 $1 }'
}

[ -r "$image" ] || fail "cannot read $image"
size=$(wc -c < "$image" | tr -d ' ')
want=$(file_crc "$image")

# 1. U-Boot offers to stop; any key does, a CR included.
"$bx" -p"$port" -lfuboot-boot.log -lx"Hit any key to stop autoboot" -lt"${BOOT_SECONDS:-60}" > /dev/null ||
    fail "cannot listen on port $port"
grep -q "Hit any key to stop autoboot" uboot-boot.log || fail "no U-Boot on port $port (see uboot-boot.log)"
"$bx" -p"$port" --send-line "" -lfuboot-prompt.log -lx"=> " -lt5 > /dev/null || fail "cannot stop the autoboot"
grep -q "=> " uboot-prompt.log || fail "U-Boot did not stop at its prompt (see uboot-prompt.log)"

# 2. The load, announced under the file's own name (a receiver may refuse
# one with folders). The capture ends at the prompt U-Boot prints once it is back
# at its own rate.
if [ $xmodem = 1 ]; then
    load="loadx \${loadaddr} $rate" mode=-sk length=$(printf %x "$size")
else
    load="loady \${loadaddr} $rate" mode=-sy length='${filesize}'
fi
"$bx" -p"$port" --send-line "$load" --follow-baud-switch $mode "$image" "$(basename "$image")" -lfuboot-load.log -lx"=> " -lt10 ||
    fail "the load failed (exit status $?, see uboot-load.log)"
grep -q "=> " uboot-load.log || fail "U-Boot did not come back to its prompt (see uboot-load.log)"

# 3. U-Boot prints "crc32 for ADDR ... LAST ==> CRC". The capture stops when
# the expected value has come ("==> " itself holds the prompt's "=> "), or
# after 5 s of silence when another one came.
"$bx" -p"$port" --send-line "crc32 \${loadaddr} $length" -lfuboot-crc.log -lx"==> $want" -lt5 > /dev/null ||
    fail "cannot ask for the CRC-32"
got=$(grep -ao '==> [0-9a-f]\{8\}' uboot-crc.log | tail -1 | cut -c5-)
[ "$got" = "$want" ] || fail "U-Boot's CRC-32 is ${got:-missing}, the file's $want (see uboot-crc.log)"
echo "uboot-flash: $image ($size bytes) loaded at $rate bps, CRC-32 $got matches"
