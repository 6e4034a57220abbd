#!/usr/bin/env bash
# blockxfer sending to blockxfer receiving over the simulated line, in every
# pairing the protocols allow, for sizes around the block boundaries and one
# large random file; every file compared byte for byte.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
cd "$WORK"
mkdir -p src rx
make_test_files

start_line --latency-ms 1

# transfer SENDOPT RECVOPT NAME [DST-NAME] [RECEIVER-FILE]: the sender
# starts first, so the receiver's first start character is not drained as
# a stale byte.
transfer() {
    local sendopt=$1 recvopt=$2 name=$3 dest=${4:-} target=${5:-}
    rm -rf rx && mkdir rx
    "$B" -p"$WORK/a" "$sendopt" "src/$name" $dest > send.out 2> send.err &
    local sender=$!
    (cd rx && "$B" -p"$WORK/b" "$recvopt" -t5 $target > ../recv.out 2> ../recv.err)
    recv_status=$?
    wait "$sender"
    send_status=$?
}

for pairing in "-sx -rx" "-sx -rc" "-sk -rx" "-sk -rc"; do
    set -- $pairing
    for name in $SIZES; do
        transfer "$1" "$2" "$name" "" out
        padded_copy "src/$name" expected
        expect_eq "$pairing $name status" "0 0" "$send_status $recv_status"
        check "$pairing $name contents" cmp -s expected rx/out
    done
done

# Y-Modem: the announced name is the DST-FILE, lower-cased.
for recvopt in -ry -rg; do
    for name in $SIZES; do
        transfer -sy "$recvopt" "$name" "${name^^}.BIN"
        expect_eq "-sy $recvopt $name status" "0 0" "$send_status $recv_status"
        check "-sy $recvopt $name contents" cmp -s "src/$name" "rx/$name.bin"
    done
done
expect_eq "sender messages" "Sending src/big...|Sent OK" \
    "$(tr '\r' '\n' < send.out | grep -E '^(Sending|Sent)' | paste -sd'|')"
expect_eq "receiver messages" "Receiving big.bin...|Received OK" \
    "$(tr '\r' '\n' < recv.out | grep -E '^Receiv' | paste -sd'|')"

# A FILE given to the receiver wins over the header's name; the size is kept.
transfer -sy -ry f1500 "" chosen
expect_eq "named receive status" "0 0" "$send_status $recv_status"
check "named receive contents" cmp -s src/f1500 rx/chosen
check "header name not used" test ! -e rx/src/f1500

# The same over a line at 115200 baud, the line's real pace.
head -c $((64 * 1024 + 300)) /dev/urandom > src/mid
start_line --baud 115200 --latency-ms 1
for opts in "-sk -rc" "-sy -ry" "-sy -rg"; do
    set -- $opts
    transfer "$1" "$2" mid "" out
    expect_eq "115200 $opts status" "0 0" "$send_status $recv_status"
    if [ "$1" = -sk ]; then padded_copy src/mid expected; else cp src/mid expected; fi
    check "115200 $opts contents" cmp -s expected rx/out
done

finish
