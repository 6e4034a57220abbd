#!/usr/bin/env bash
# SIGINT and SIGTERM (and once SIGHUP) to a sending and to a receiving
# blockxfer in the middle of a transfer at 115200 baud, with blockxfer and
# with lrzsz (rb, sb) at the other end. Each time the interrupted one ends
# with 128 + the signal and one line on standard error, the other end stops
# within 2 s of the signal, the line settings and the driver's flags (faked
# at ioctl) read back as before the run, and a partly received file is a
# prefix of the one sent. Then a log capture, and a second signal while the
# cancel is held up. Prints "stop PEER MS" for each time from the signal to
# the other end's stop.
#
# Needs BLOCKXFER, NULLMODEM, SHIM (tcdrain for lrzsz) and FLAGS_FAKE (the
# preloaded serial flags fake).
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
for tool in sb rb; do
    command -v "$tool" > /dev/null || { echo "lrzsz ($tool) is not installed" >&2; exit 1; }
done
cd "$WORK"
head -c $((200 * 1024)) /dev/urandom > src.bin  # about 18 s on the line
SIZE=$(stat -c %s src.bin)
DRIVER_FLAGS=64    # ASYNC_SKIP_TEST: a flag of the driver's own
LOW_LATENCY=8192   # ASYNC_LOW_LATENCY, which blockxfer sets while it runs
start_line --baud 115200 --latency-ms 2

# ours ARGS...: blockxfer on end A with the fake driver flags, its signals
# at their defaults (a background job of a script ignores SIGINT). A
# sanitizer build lets the uninstrumented fake go first.
ours() {
    exec env --default-signal=INT SERIAL_FLAGS_FAKE_FILE="$WORK/flags" LD_PRELOAD="$FLAGS_FAKE" \
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
        "$B" -p"$WORK/a" "$@" > "$WORK/ours.out" 2> "$WORK/ours.err"
}

# peer KIND: the other end on B, in the background (PEER_PID); its status
# and the time it ended (ns) go to peer.end.
peer() {
    (
        case $1 in
        bx-rx) (cd rx && exec "$B" -p"$WORK/b" -ry -t10) ;;
        bx-tx) "$B" -p"$WORK/b" -sy src.bin ;;
        rb) (cd rx && LD_PRELOAD=$SHIM exec rb -q) < b > b ;;
        sb) LD_PRELOAD=$SHIM sb -q -k src.bin < b > b ;;
        esac > peer.out 2> peer.err
        echo "$? $(date +%s%N)" > peer.end
    ) &
    PEER_PID=$!
}

# interrupt NAME SIGNAL SIDE PEER: ours sends (SIDE tx) or receives (rx).
interrupt() {
    local name=$1 sig=$2 side=$3 kind=$4 pid
    rm -rf rx peer.end && mkdir rx
    echo $DRIVER_FLAGS > flags
    # The line as a completed run leaves it (a run without arguments only
    # opens and sets up the port), so that any change shows.
    "$B" -p"$WORK/a"
    local settings
    settings=$(stty -F a -g)
    if [ "$side" = tx ]; then
        ours -sy src.bin &
        pid=$!
        sleep 0.1
        peer "$kind"
    else
        peer "$kind"
        sleep 0.1
        (cd rx && ours -ry -t10) &
        pid=$!
    fi
    check "$name: data flows" await_size rx/src.bin 32768 20
    local during
    during=$(cat flags)
    local t0
    t0=$(date +%s%N)
    kill -s "$sig" "$pid"
    wait "$pid"
    local status=$?
    wait_until 10 test -s peer.end
    local ms=$(( ($(cut -d' ' -f2 peer.end 2>/dev/null || date +%s%N) - t0) / 1000000 ))
    echo "stop $kind $ms ms ($name)"

    expect_eq "$name: exit status" $((128 + $(kill -l "$sig"))) "$status"
    expect_eq "$name: one line on standard error" "File transfer interrupted by SIG$sig" "$(cat ours.err)"
    check "$name: the other end stopped within 2 s (took $ms ms)" test "$ms" -le 2000
    expect_eq "$name: low latency while running" $((DRIVER_FLAGS | LOW_LATENCY)) "$during"
    expect_eq "$name: the driver's flags as before" $DRIVER_FLAGS "$(cat flags)"
    expect_eq "$name: the line settings as before" "$settings" "$(stty -F a -g)"
    if [ "$side" = rx ]; then
        local got
        got=$(stat -c %s rx/src.bin)
        check "$name: a partly received file ($got bytes)" test "$got" -gt 0 -a "$got" -lt "$SIZE"
        check "$name: what arrived is the file's beginning" cmp -s -n "$got" src.bin rx/src.bin
    fi
    # Whatever the other end still sends is not the next case's.
    kill "$PEER_PID" 2>/dev/null
    wait "$PEER_PID"
    sleep 0.3
}

for sig in INT TERM; do
    interrupt "sender into blockxfer, SIG$sig" $sig tx bx-rx
    interrupt "receiver from blockxfer, SIG$sig" $sig rx bx-tx
    interrupt "sender into rb, SIG$sig" $sig tx rb
    interrupt "receiver from sb, SIG$sig" $sig rx sb
done
interrupt "sender into blockxfer, SIGHUP" HUP tx bx-rx

# The log capture ends as at a timeout: the log kept and closed.
echo $DRIVER_FLAGS > flags
(while :; do echo "boot line"; sleep 0.05; done > b) &
talker=$!
ours -lfLOG -lt30 &
pid=$!
sleep 1
kill -INT $pid
wait $pid
expect_eq "capture: exit status" 130 $?
kill $talker
expect_eq "capture: one line on standard error" "Log capture interrupted by SIGINT" "$(cat ours.err)"
expect_eq "capture: no timeout reported" "Capturing log to LOG..." "$(cat ours.out)"
check "capture: the log holds what came" grep -q "boot line" LOG
expect_eq "capture: the driver's flags as before" $DRIVER_FLAGS "$(cat flags)"

# A second signal while the cancel waits (the line frozen, so the answer
# it waits for cannot come) ends blockxfer at once, with its own status.
rm -rf rx && mkdir rx
ours -sy src.bin &
pid=$!
sleep 0.1
peer bx-rx
await_size rx/src.bin 8192 20
kill -STOP "$LINE_PID"
kill -INT $pid
sleep 0.05
t0=$(date +%s%N)
kill -TERM $pid
wait $pid
status=$?
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
kill -CONT "$LINE_PID"
expect_eq "second signal: ends with its status" 143 $status
check "second signal: at once (took $ms ms)" test $ms -le 500
kill "$PEER_PID"
wait "$PEER_PID"

finish
