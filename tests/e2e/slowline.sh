#!/usr/bin/env bash
# Sending 1K frames over a 9600-baud line, where a frame needs 1.07 s on the
# wire: longer than the sender's wait for the reply if that wait started
# when the driver took the frame. Against our receivers and against rb.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
cd "$WORK"
mkdir -p src rx
# Five 1K frames, the last one part filled.
head -c 4500 /dev/urandom > src/five

# A USB adapter's latency, on top of the line's pace.
start_line --baud 9600 --latency-ms 16

for pairing in "-sk -rc" "-sy -ry" "-sy -rg"; do
    set -- $pairing
    rm -rf rx && mkdir rx
    "$B" -p"$WORK/a" -b9600 "$1" src/five > send.out 2> send.err &
    sender=$!
    (cd rx && "$B" -p"$WORK/b" -b9600 "$2" -t5 out > ../recv.out 2> ../recv.err)
    recv_status=$?
    wait "$sender"
    send_status=$?
    expect_eq "$pairing status" "0 0" "$send_status $recv_status"
    [ "$send_status" = 0 ] || cat send.err >&2
    if [ "$1" = -sk ]; then
        padded_copy src/five expected
    else
        cp src/five expected
    fi
    check "$pairing contents" cmp -s expected rx/out
done

if command -v rb > /dev/null; then
    rm -rf rx && mkdir rx
    "$B" -p"$WORK/a" -b9600 -sy src/five five > send.out 2> send.err &
    sender=$!
    sleep 0.1
    (cd rx && LD_PRELOAD=$SHIM rb -q < "$WORK/b" > "$WORK/b" 2> "$WORK/peer.err")
    peer_status=$?
    wait "$sender"
    send_status=$?
    expect_eq "-sy -> rb status" "0 0" "$send_status $peer_status"
    check "-sy -> rb contents" cmp -s src/five rx/five
else
    echo "SKIP: -sy -> rb: lrzsz is not installed" >&2
fi

finish
