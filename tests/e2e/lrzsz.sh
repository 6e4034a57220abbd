#!/usr/bin/env bash
# blockxfer against lrzsz, a real independent X/Y-Modem implementation:
# sx, sb and sb -k sending to our receiver; rx, rx -c and rb receiving from
# our sender. Every file compared byte for byte.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
for tool in sx sb rx rb; do
    command -v "$tool" > /dev/null || { echo "lrzsz ($tool) is not installed" >&2; exit 1; }
done
cd "$WORK"
mkdir -p src
make_test_files

# lrzsz's receivers discard their input right after each ACK or "C": a
# little latency, as on a real line, keeps the next frame from vanishing.
start_line --latency-ms 2

# peer DIR COMMAND...: an lrzsz program on end B, with its stdio on the line.
peer() {
    local dir=$1
    shift
    (cd "$dir" && LD_PRELOAD=$SHIM "$@" < "$WORK/b" > "$WORK/b" 2> "$WORK/peer.err")
}

# Our sender against rx (checksum), rx -c (CRC) and rb.
for case in "-sx|rx|xmodem" "-sx|rx -c|xmodem" "-sk|rx -c|xmodem" "-sy|rb|ymodem"; do
    IFS='|' read -r ours theirs kind <<< "$case"
    for name in $SIZES; do
        rm -rf rx && mkdir rx
        # The Y-Modem header announces the bare name (DST-FILE).
        if [ "$kind" = xmodem ]; then
            "$B" -p"$WORK/a" "$ours" "src/$name" > send.out 2> send.err &
        else
            "$B" -p"$WORK/a" "$ours" "src/$name" "$name" > send.out 2> send.err &
        fi
        sender=$!
        sleep 0.1
        if [ "$kind" = xmodem ]; then
            peer rx $theirs -q out
        else
            peer rx $theirs -q
        fi
        peer_status=$?
        wait "$sender"
        send_status=$?
        expect_eq "$ours -> $theirs $name status" "0 0" "$send_status $peer_status"
        if [ "$kind" = xmodem ]; then
            padded_copy "src/$name" expected
            check "$ours -> $theirs $name contents" cmp -s expected rx/out
        else
            check "$ours -> $theirs $name contents" cmp -s "src/$name" "rx/$name"
        fi
    done
done

# sx, sb and sb -k against our receivers.
for case in "sx|-rx|xmodem" "sx|-rc|xmodem" "sb|-ry|ymodem" "sb -k|-ry|ymodem" "sb -k|-rg|ymodem"; do
    IFS='|' read -r theirs ours kind <<< "$case"
    for name in $SIZES; do
        rm -rf rx && mkdir rx
        peer src $theirs -q "$name" &
        sender=$!
        sleep 0.1
        if [ "$kind" = xmodem ]; then
            (cd rx && "$B" -p"$WORK/a" "$ours" -t10 out > ../recv.out 2> ../recv.err)
        else
            (cd rx && "$B" -p"$WORK/a" "$ours" -t10 > ../recv.out 2> ../recv.err)
        fi
        recv_status=$?
        wait "$sender"
        peer_status=$?
        expect_eq "$theirs -> $ours $name status" "0 0" "$recv_status $peer_status"
        if [ "$kind" = xmodem ]; then
            padded_copy "src/$name" expected
            check "$theirs -> $ours $name contents" cmp -s expected rx/out
        else
            check "$theirs -> $ours $name contents" cmp -s "src/$name" "rx/$name"
        fi
    done
done

finish
