#!/usr/bin/env bash
# Log capture against a device on the simulated line: a stop string split
# across writes, echo without carriage returns, the silence timeout, and a
# send followed at once by the capture.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
cd "$WORK"
start_line

# device SCRIPT: plays the device on end B; SCRIPT prints to stdout. It
# starts a little later than blockxfer, whose set-up discards whatever
# was already waiting on the line.
device() {
    (sleep 0.3; eval "$1") > "$WORK/b" &
    DEVICE_PID=$!
}

device 'printf "boot\r\n"; sleep 0.3; printf "=="; sleep 0.3; printf "> rest"; sleep 3; printf late'
SECONDS=0
"$B" -p"$WORK/a" -lfLOG -lx"==> " > out 2> err
status=$?
expect_eq "stop string status" 0 "$status"
expect_eq "stop string output" "Capturing log to LOG...
Log capture termination string found." "$(cat out)"
expect_eq "stop string log" "$(printf 'boot\r\n==> rest')" "$(cat LOG)"
check "stop string ends before the late bytes" test "$SECONDS" -lt 3
wait "$DEVICE_PID"

device 'printf "line 1\r\nline 2\r\n"'
"$B" -p"$WORK/a" -lfLOG -le -lt1 > out 2> err
expect_eq "echo drops CR" "Capturing log to LOG...
line 1
line 2
Log capture timeout." "$(cat out)"
expect_eq "log keeps CR" "$(printf 'line 1\r\nline 2\r\n')" "$(cat LOG)"
wait "$DEVICE_PID"

# Silence timeout: each byte restarts the wait; the capture ends one
# timeout after the last byte.
device 'for i in 1 2 3; do printf "$i"; sleep 0.5; done'
SECONDS=0
"$B" -p"$WORK/a" -lfLOG -lt1 > out 2> err
elapsed=$SECONDS
expect_eq "timeout log" "123" "$(cat LOG)"
check "capture waited for the last byte" test "$elapsed" -ge 2
check "capture ended after the silence" test "$elapsed" -le 4
wait "$DEVICE_PID"

# A send followed by the capture: what the receiver prints right after the
# transfer lands in the log.
head -c 5000 /dev/urandom > fw.bin
mkdir -p rx
(cd rx && "$B" -p"$WORK/b" -ry -t5 > ../recv.out 2>&1 && printf 'flash ok\r\n=> ' > "$WORK/b") &
receiver=$!
"$B" -p"$WORK/a" -sy fw.bin -lfLOG -lx"=> " > out 2> err
status=$?
wait "$receiver"
expect_eq "send and capture status" 0 "$status"
check "file arrived" cmp -s fw.bin rx/fw.bin
expect_eq "board output captured" "$(printf 'flash ok\r\n=> ')" "$(cat LOG)"
check "sent ok before the capture" grep -q "Sent OK" out

finish
