#!/bin/bash
# The Windows blockxfer.exe under Wine on a simulated serial line, against
# the Linux blockxfer and against lrzsz: every mode, a send and a receive
# each, files compared byte for byte; then the result code of COM ports
# that name no device. Prints the time of every transfer.
#
#   wine_interop.sh --linux PATH [--exe PATH] [--nullmodem PATH] [--shim PATH]
#                   [--work DIR] [--baseline]
#
#   --linux      the Linux blockxfer (the peer, and the baseline)
#   --exe        blockxfer.exe; cross-built into the work dir when not given
#   --nullmodem  the simulated line; socat makes a plain pty pair without it
#   --shim       LD_PRELOAD library for lrzsz's tcdrain() on ptys
#   --baseline   also time the blockxfer pairs with the Linux program in
#                place of the Windows one, on the same line
#
# Exits 77 (skipped) when wine, lrzsz, or the exe and a way to build it are
# missing.
#
# Wine on ptys: the pty must be raw before Wine opens it (Wine leaves IXON
# on, which would eat 0x11/0x13), and wineserver must stay up for the whole
# run and go before the pty does.
set -u

SKIP=77
here=$(cd "$(dirname "$0")" && pwd)
linux=""
exe=""
nullmodem=""
shim=""
work=""
baseline=0
while [ $# -gt 0 ]; do
    case $1 in
    --linux) linux=$2; shift 2 ;;
    --exe) exe=$2; shift 2 ;;
    --nullmodem) nullmodem=$2; shift 2 ;;
    --shim) shim=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --baseline) baseline=1; shift ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

skip() {
    echo "SKIPPED: $*"
    exit $SKIP
}

[ -x "$linux" ] || { echo "--linux must name the Linux blockxfer" >&2; exit 2; }
command -v wine >/dev/null || skip "wine not installed (apt-get install wine wine64)"
for tool in sx rx sb rb; do
    command -v $tool >/dev/null || skip "lrzsz not installed ($tool missing)"
done
[ -n "$nullmodem" ] || command -v socat >/dev/null || skip "neither nullmodem nor socat"
work=${work:-$(mktemp -d /tmp/wine_interop.XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)
if [ -z "$exe" ] || [ ! -f "$exe" ]; then
    command -v x86_64-w64-mingw32-g++ >/dev/null ||
        skip "no blockxfer.exe given and mingw-w64 missing to build one"
    exe=$("$here/../../tools/build_windows.sh" "$work/win-build" 2>"$work/win-build.log" | tail -n 1)
    [ -f "$exe" ] || { cat "$work/win-build.log"; echo "FAIL: cross-build"; exit 1; }
fi

export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$work/wineboot.log" 2>&1
    wineserver -w
fi
dosdevices="$WINEPREFIX/dosdevices"
winport=12       # linked to the line; Wine re-points com1..com4 at start
deadport=6       # linked to nowhere

line_pid=""
cleanup() {
    # wineserver first: it holds the pty open and must not outlive it.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    [ -n "$line_pid" ] && kill "$line_pid" 2>/dev/null && wait "$line_pid" 2>/dev/null
    # The Linux ends of a pair that was cut short, by their ids.
    jobs -p | xargs -r kill 2>/dev/null
    rm -f "$dosdevices/com$winport" "$dosdevices/com$deadport"
}
trap cleanup EXIT
. "$here/../../tools/cable.sh"
. "$here/../support/checks.sh"
# Each case prints its own line, with its figures.
check_failed() { :; }

win_tty="$work/win.tty"
lin_tty="$work/lin.tty"
rm -f "$win_tty" "$lin_tty"
if [ -n "$nullmodem" ]; then
    # 1 ms of latency, as a real line has: lrzsz discards its input right
    # after each ACK, so an unthrottled sender's next frame could vanish.
    cable_start "$nullmodem" "$win_tty" "$lin_tty" "$work/line.out" --baud 115200 --latency-ms 1 ||
        exit 1
    line_pid=$CABLE_PID
    line="nullmodem at 115200 baud, 1 ms latency"
else
    socat pty,raw,echo=0,link="$win_tty" pty,raw,echo=0,link="$lin_tty" 2>"$work/line.err" &
    line_pid=$!
    wait_until 5 test -e "$win_tty" -a -e "$lin_tty"
    line="socat pty pair, unthrottled"
fi
[ -e "$win_tty" ] && [ -e "$lin_tty" ] || { cat "$work/line.err"; echo "FAIL: no line"; exit 1; }
ln -sfn "$win_tty" "$dosdevices/com$winport"
ln -sfn "$work/nowhere" "$dosdevices/com$deadport"
wineserver -p

# The programs at the two ends of the line. W is the end under test.
W_WINE="wine $exe -p$winport -t10"
W_LINUX="$linux -p$win_tty -t10"
L="$linux -p$lin_tty -t10"
if [ -n "$shim" ]; then
    Z="env LD_PRELOAD=$shim"
else
    Z="env"
fi
ZIO="<$lin_tty >$lin_tty"

# Y-Modem announces the size: any length. X-Modem pads the last block, so
# its file is whole blocks, 1K ones followed by 128-byte ones. Both stay
# under two seconds of line time: the simulated line queues up to 64 KB,
# far more than a UART driver, so a streaming (Y-Modem G) sender runs
# ahead by the whole file and its wait for the reply to EOT would expire
# before the receiver has even seen the EOT.
head -c 20001 /dev/urandom >"$work/y.bin"
head -c $((12 * 1024 + 384)) /dev/urandom >"$work/x.bin"

# run_pair NAME SENDER RECEIVER SOURCE RECEIVED-NAME
# The sender starts first and waits for the receiver's opening character;
# the time runs from the receiver's start until both have ended.
run_pair() {
    local name=$1 sender=$2 receiver=$3 source=$4 received=$5
    local dir="$work/cases/$name"
    rm -rf "$dir"
    mkdir -p "$dir/tx" "$dir/rx"
    cp "$source" "$dir/tx/"
    # Each blockxfer keeps a line trace beside its files (a relative name,
    # which Wine and Linux resolve alike), shown when the case fails.
    (cd "$dir/tx" && BLOCKXFER_TRACE=line.trace exec timeout 60 bash -c "$sender") >"$dir/tx.log" 2>&1 &
    local txpid=$!
    case $sender in wine*) sleep 1.5 ;; *) sleep 0.2 ;; esac
    local start
    start=$(date +%s.%N)
    (cd "$dir/rx" && BLOCKXFER_TRACE=line.trace exec timeout 60 bash -c "$receiver") >"$dir/rx.log" 2>&1
    local rxrc=$?
    wait $txpid
    local txrc=$?
    local seconds
    seconds=$(echo "$(date +%s.%N) - $start" | bc)
    if [ $txrc -eq 0 ] && [ $rxrc -eq 0 ] && cmp -s "$source" "$dir/rx/$received"; then
        count_check "$name" 0
        printf 'ok    %-34s %6d bytes %6.2f s\n' "$name" "$(stat -c %s "$source")" "$seconds"
    else
        count_check "$name" 1
        printf 'FAIL  %-34s sender %d, receiver %d\n' "$name" $txrc $rxrc
        for log in tx rx; do
            echo "  --- $log:"
            tr '\r' '\n' <"$dir/$log.log" | tail -n 5 | sed 's/^/  /'
            [ -f "$dir/$log/line.trace" ] && tail -n 12 "$dir/$log/line.trace" | sed 's/^/  trace: /'
        done
        [ -f "$dir/rx/$received" ] && cmp "$source" "$dir/rx/$received" | sed 's/^/  /'
    fi
}

# blockxfer at both ends, every mode both ways; W is the program under test.
blockxfer_pairs() {
    local W=$1 tag=$2
    run_pair "$tag ymodem send" "$W -sy y.bin" "$L -ry" "$work/y.bin" y.bin
    run_pair "$tag ymodem receive" "$L -sy y.bin" "$W -ry" "$work/y.bin" y.bin
    run_pair "$tag ymodem-g send" "$W -sy y.bin" "$L -rg" "$work/y.bin" y.bin
    run_pair "$tag ymodem-g receive" "$L -sy y.bin" "$W -rg" "$work/y.bin" y.bin
    run_pair "$tag xmodem send" "$W -sx x.bin" "$L -rx out.bin" "$work/x.bin" out.bin
    run_pair "$tag xmodem receive" "$L -sx x.bin" "$W -rx out.bin" "$work/x.bin" out.bin
    run_pair "$tag xmodem-crc send" "$W -sx x.bin" "$L -rc out.bin" "$work/x.bin" out.bin
    run_pair "$tag xmodem-crc receive" "$L -sx x.bin" "$W -rc out.bin" "$work/x.bin" out.bin
    run_pair "$tag xmodem-1k send" "$W -sk x.bin" "$L -rc out.bin" "$work/x.bin" out.bin
    run_pair "$tag xmodem-1k receive" "$L -sk x.bin" "$W -rc out.bin" "$work/x.bin" out.bin
}

echo "line: $line"
echo "exe:  $exe"
blockxfer_pairs "$W_WINE" "wine/linux"

# lrzsz at the other end. lrzsz has no Y-Modem G receiver, so G is only
# received from it.
W=$W_WINE
run_pair "wine/lrzsz ymodem send" "$W -sy y.bin" "$Z rb -q $ZIO" "$work/y.bin" y.bin
run_pair "wine/lrzsz ymodem receive" "$Z sb -q -k y.bin $ZIO" "$W -ry" "$work/y.bin" y.bin
run_pair "wine/lrzsz ymodem-g receive" "$Z sb -q -k y.bin $ZIO" "$W -rg" "$work/y.bin" y.bin
run_pair "wine/lrzsz xmodem send" "$W -sx x.bin" "$Z rx -q out.bin $ZIO" "$work/x.bin" out.bin
run_pair "wine/lrzsz xmodem receive" "$Z sx -q x.bin $ZIO" "$W -rx out.bin" "$work/x.bin" out.bin
run_pair "wine/lrzsz xmodem-crc send" "$W -sx x.bin" "$Z rx -q -c out.bin $ZIO" "$work/x.bin" out.bin
run_pair "wine/lrzsz xmodem-crc receive" "$Z sx -q x.bin $ZIO" "$W -rc out.bin" "$work/x.bin" out.bin
run_pair "wine/lrzsz xmodem-1k send" "$W -sk x.bin" "$Z rx -q -c out.bin $ZIO" "$work/x.bin" out.bin
run_pair "wine/lrzsz xmodem-1k receive" "$Z sx -q -k x.bin $ZIO" "$W -rc out.bin" "$work/x.bin" out.bin

# Ctrl+C to blockxfer.exe while it sends and while it receives (Wine turns
# SIGINT into CTRL_C_EVENT): it ends with STATUS_CONTROL_C_EXIT (58 to a
# Linux shell) after one line on standard error, and the Linux blockxfer at
# the other end stops within 2 s, cancelled (-302, 210).
# run_interrupt NAME SENDER RECEIVER WHO: WHO (tx or rx) is the .exe.
head -c $((100 * 1024)) /dev/urandom >"$work/big.bin"
run_interrupt() {
    local name=$1 sender=$2 receiver=$3 who=$4
    local dir="$work/cases/$name"
    rm -rf "$dir"
    mkdir -p "$dir/tx" "$dir/rx"
    cp "$work/big.bin" "$dir/tx/"
    (cd "$dir/tx" && exec env --default-signal=INT $sender) >"$dir/tx.log" 2>&1 &
    local txpid=$!
    case $sender in wine*) sleep 1.5 ;; *) sleep 0.2 ;; esac
    (cd "$dir/rx" && exec env --default-signal=INT $receiver) >"$dir/rx.log" 2>&1 &
    local rxpid=$!
    await_size "$dir/rx/big.bin" 16384 15
    local target=$txpid peer=$rxpid
    [ "$who" = rx ] && target=$rxpid peer=$txpid
    local start
    start=$(date +%s%N)
    kill -INT $target
    wait $peer
    local peerrc=$?
    local ms=$(( ($(date +%s%N) - start) / 1000000 ))
    wait $target
    local rc=$?
    local got
    got=$(stat -c %s "$dir/rx/big.bin" 2>/dev/null || echo 0)
    if [ $rc -eq 58 ] && [ $peerrc -eq 210 ] && [ $ms -le 2000 ] && [ "$got" -gt 0 ] &&
        grep -q "File transfer interrupted by Ctrl+C" "$dir/$who.log" &&
        cmp -s -n "$got" "$work/big.bin" "$dir/rx/big.bin"; then
        count_check "$name" 0
        printf 'ok    %-34s other end stopped after %d ms\n' "$name" $ms
    else
        count_check "$name" 1
        printf 'FAIL  %-34s status %d, other end %d after %d ms, %d bytes\n' "$name" $rc $peerrc $ms "$got"
        tr '\r' '\n' <"$dir/$who.log" | tail -n 3 | sed 's/^/  /'
    fi
    line_quiet
}
# The peer stops inside a frame: what it had handed to its port, and what
# the cable's transmit buffer held, is still on the line for up to half a
# second at 115200 baud. A program that opened the port meanwhile would
# take that for its peer's answer (Wine starts the next one in 40 ms), so
# each end is read until the line has been quiet for 0.3 s.
line_quiet() {
    local end tries
    for end in "$win_tty" "$lin_tty"; do
        for tries in $(seq 1 20); do
            [ "$(timeout 0.3 dd if="$end" bs=4096 count=1 2>/dev/null | wc -c)" -gt 0 ] || break
        done
    done
}
run_interrupt "wine/linux Ctrl+C while sending" "$W_WINE -sy big.bin" "$L -ry" tx
run_interrupt "wine/linux Ctrl+C while receiving" "$L -sy big.bin" "$W_WINE -ry" rx

# The device named directly instead of by number.
run_pair "wine/linux ymodem send, -p//./com$winport" "wine $exe -p//./com$winport -t10 -sy y.bin" \
    "$L -ry" "$work/y.bin" y.bin

# A COM port whose link points nowhere, and one beyond the name's three
# digits: both "no such device", -101, seen by a shell as 155.
expect_no_device() {
    local port=$1
    local out
    out=$(cd "$work" && wine "$exe" -p"$port" -t1 -sy y.bin 2>&1)
    local status=$?
    if [ $status -eq 155 ] && [[ $out == *"Can't open port. Error -101"* ]]; then
        count_check "COM$port names no device" 0
        printf 'ok    %-34s status %d\n' "COM$port names no device" $status
    else
        count_check "COM$port names no device" 1
        printf 'FAIL  %-34s status %d: %s\n' "COM$port names no device" $status "$out"
    fi
}
expect_no_device $deadport
expect_no_device 1000

if [ $baseline -eq 1 ]; then
    start=$(date +%s.%N)
    wine "$exe" -h >/dev/null 2>&1
    printf 'wine start-up of blockxfer.exe -h: %.2f s\n' "$(echo "$(date +%s.%N) - $start" | bc)"
    blockxfer_pairs "$W_LINUX" "linux/linux"
fi

echo "$((checks - failures)) of $checks passed"
[ $failures -eq 0 ]
