#!/usr/bin/env bash
# The line trace (BLOCKXFER_TRACE) of both ends of a transfer, held against
# the simulated cable's own record of what it carried: a trace's "out"
# lines are exactly what the other end received, its "in" lines exactly
# what the cable delivered to it, also on a line that damages bytes.
# Then: a trace that cannot be opened, no variable, appending, a failure.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
cd "$WORK"
mkdir -p rx
head -c 5000 /dev/urandom > sent.bin

# bytes TRACE DIRECTION: the bytes of one direction as one hex string, from
# a trace of blockxfer (in/out) or of nullmodem (ab/ba).
bytes() {
    awk -v d="$2" '
        $2 == d && (d == "in" || d == "out") { for (i = 3; i <= NF; i++) printf "%s", $i }
        $2 == d && (d == "ab" || d == "ba") { for (i = 1; i <= length($4); i += 2) printf "%s", substr($4, i, 2) }
        END { print "" }' "$1"
}

# Every line: time with six decimals, a word, and for chunks hex bytes only.
well_formed() {
    awk '
        !/^[0-9]+\.[0-9][0-9][0-9][0-9][0-9][0-9] [a-z-]+( .*)?$/ { bad = 1 }
        ($2 == "in" || $2 == "out") && !/^[^ ]+ (in|out)( [0-9a-f][0-9a-f])+$/ { bad = 1 }
        { t = $1 + 0; if (t < last) bad = 1; last = t }
        END { exit bad }' "$1"
}

# transfer NAME [FILE-SIZE]: blockxfer -sy to blockxfer -ry over the line
# started before, both traced into NAME-tx.trace and NAME-rx.trace.
transfer() {
    rm -rf rx && mkdir rx
    BLOCKXFER_TRACE="$WORK/$1-tx.trace" "$B" -p"$WORK/a" -sy sent.bin > send.out 2> send.err &
    local sender=$!
    # The receiver starts once the sender's port is set up (which empties
    # it), so its first "C" is read and traced rather than thrown away.
    await_text "$WORK/$1-tx.trace" ' configure '
    (cd rx && BLOCKXFER_TRACE="$WORK/$1-rx.trace" "$B" -p"$WORK/b" -ry -t5 > ../recv.out 2> ../recv.err)
    recv_status=$?
    wait "$sender"
    send_status=$?
    stop_line
}

# ---- a clean line: both directions exact, both ends -----------------------
start_line --baud 115200 --latency-ms 1 --trace "$WORK/clean-line.trace"
transfer clean
expect_eq "clean: status" "0 0" "$send_status $recv_status"
check "clean: file" cmp -s sent.bin rx/sent.bin
expect_eq "clean: sender's out = what the receiver's end got" "$(bytes clean-line.trace ab)" "$(bytes clean-tx.trace out)"
expect_eq "clean: receiver's in = what the line delivered" "$(bytes clean-line.trace ab)" "$(bytes clean-rx.trace in)"
expect_eq "clean: receiver's out = what the sender's end got" "$(bytes clean-line.trace ba)" "$(bytes clean-rx.trace out)"
expect_eq "clean: sender's in = what the line delivered" "$(bytes clean-line.trace ba)" "$(bytes clean-tx.trace in)"
check "clean: the sender's trace holds the whole file" test "$(bytes clean-tx.trace out | wc -c)" -gt 10000
check "clean: sender's trace well formed" well_formed clean-tx.trace
check "clean: receiver's trace well formed" well_formed clean-rx.trace
expect_eq "clean: sender's trace begins with begin, command" "begin command" "$(awk 'NR <= 2 { print $2 }' clean-tx.trace | paste -sd' ')"
expect_eq "clean: the command line" "-sy sent.bin" "$(awk '$2 == "command" { print $5, $6 }' clean-tx.trace)"
expect_eq "clean: sender's trace ends" "result 0 sent|close" "$(tail -n 2 clean-tx.trace | cut -d' ' -f2- | paste -sd'|')"
expect_eq "clean: receiver's trace ends" "result 0 received|close" "$(tail -n 2 clean-rx.trace | cut -d' ' -f2- | paste -sd'|')"
# The decisions, between the bytes they answer.
expect_eq "clean: the sender took the receiver's C" "in 43|start C" \
    "$(grep -m1 -A1 ' in 43$' clean-tx.trace | cut -d' ' -f2- | paste -sd'|')"
expect_eq "clean: the receiver's decisions" 'ask C|header "sent.bin" 5000 bytes|eot end of file|ask C|header "" 0 bytes' \
    "$(grep -E '^[^ ]+ (ask|header|eot|resend|timeout|cancel)' clean-rx.trace | cut -d' ' -f2- | paste -sd'|')"
expect_eq "clean: nothing went again" "" "$(grep -E ' (resend|timeout|retries)' clean-tx.trace)"

# ---- bits flipped on the way to the receiver ------------------------------
# The seed damages the data within the first blocks; the receiver must ask
# again, and the traces show which bytes left and which arrived.
start_line --baud 115200 --latency-ms 1 --seed 7 --flip-ab 0.0004 --trace "$WORK/flip-line.trace"
transfer flip
expect_eq "flip: status" "0 0" "$send_status $recv_status"
check "flip: file" cmp -s sent.bin rx/sent.bin
sent=$(bytes flip-tx.trace out)
delivered=$(bytes flip-line.trace ab)
expect_eq "flip: receiver's in = what the line delivered" "$delivered" "$(bytes flip-rx.trace in)"
expect_eq "flip: receiver's out = what the sender's end got" "$(bytes flip-line.trace ba)" "$(bytes flip-rx.trace out)"
expect_eq "flip: as many bytes left as arrived" "${#sent}" "${#delivered}"
check "flip: the line damaged some of them" test "$sent" != "$delivered"
check "flip: the receiver asked again (a NAK went out)" grep -qx '[0-9.]* out 15' flip-rx.trace
check "flip: the receiver's trace says why" grep -qx '[0-9.]* resend NAK bad-crc block [0-9]*' flip-rx.trace
check "flip: the sender's trace says a block went again" grep -qx '[0-9.]* resend NAK instead of ACK' flip-tx.trace
check "flip: sender's trace well formed" well_formed flip-tx.trace
check "flip: receiver's trace well formed" well_formed flip-rx.trace

# ---- a trace file that cannot be opened: a warning, the run goes on -------
start_line --latency-ms 1
rm -rf rx && mkdir rx
BLOCKXFER_TRACE="$WORK/no/such/folder/t" "$B" -p"$WORK/a" -sy sent.bin > send.out 2> send.err &
sender=$!
(cd rx && "$B" -p"$WORK/b" -ry -t5 > ../recv.out 2> ../recv.err)
wait "$sender"
expect_eq "unopenable: sender's status" 0 $?
check "unopenable: file" cmp -s sent.bin rx/sent.bin
expect_eq "unopenable: the warning" \
    "Warning: can't open trace file '$WORK/no/such/folder/t' (No such file or directory); no trace is written" \
    "$(cat send.err)"
stop_line

# ---- no variable (or an empty one): no trace anywhere ---------------------
start_line --latency-ms 1
rm -rf rx && mkdir rx
before=$(find "$WORK" -newer sent.bin -name '*trace*' | sort)
(unset BLOCKXFER_TRACE; BLOCKXFER_TRACE= "$B" -p"$WORK/a" -sy sent.bin > send.out 2> send.err) &
sender=$!
(cd rx && env -u BLOCKXFER_TRACE "$B" -p"$WORK/b" -ry -t5 > ../recv.out 2> ../recv.err)
wait "$sender"
expect_eq "untraced: status and stderr" "0|" "$?|$(cat send.err recv.err)"
expect_eq "untraced: files in the folders" "sent.bin" "$(ls rx)"
expect_eq "untraced: no new trace file" "$before" "$(find "$WORK" -newer sent.bin -name '*trace*' | sort)"
stop_line

# ---- a failing run, appended to an existing trace -------------------------
start_line --latency-ms 1
(cd rx && BLOCKXFER_TRACE="$WORK/clean-rx.trace" "$B" -p"$WORK/b" -ry -t1 > ../recv.out 2> ../recv.err)
expect_eq "failure: exit status" 56 $?
expect_eq "failure: appended as a second run" 2 "$(grep -c '^[0-9.]* begin ' clean-rx.trace)"
expect_eq "failure: the second run's times start again" 0 "$(awk '$2 == "begin" { n++ } n == 2 { print int($1); exit }' clean-rx.trace)"
expect_eq "failure: the trace ends with the message and the code" \
    "fatal Error during file transfer|result -200" "$(tail -n 2 clean-rx.trace | cut -d' ' -f2- | paste -sd'|')"
check "failure: the receiver asked for a start" grep -q '^[0-9.]* out 43$' clean-rx.trace
expect_eq "failure: its decisions" "ask C|timeout no block 0|ask C|timeout no block 0" \
    "$(awk '$2 == "begin" { n++ } n == 2' clean-rx.trace | grep -E ' (ask|timeout) ' | cut -d' ' -f2- | paste -sd'|')"
stop_line

finish
