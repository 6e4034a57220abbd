#!/usr/bin/env bash
# Four stations on one PC, as a bench grows: each in its own folder with
# its own run.bat (its own port digit), its own simulated cable and board,
# all four at once. Every port is visible to every program (COM<N> for
# all of them in one environment, as on a real PC), so a station or a
# blockxfer that took the wrong port would find it.
#
# Checks: each station passes its own board with its own image (the
# images differ in size and content); each LOG and stationlog.csv stays
# in its own folder and names its own port; each cable carried exactly one
# image, to its own board; each port is locked while its station holds it.
#
# Needs STATION_INSTANCE, NULLMODEM, FAKEBOARD and BLOCKXFER_DIR.
set -u
. "$(dirname "$0")/../../tools/cable.sh"
DIGITS="2 3 5 8"
DIVISOR=8
WORK=$(mktemp -d "${TMPDIR:-/tmp}/stations.XXXXXX")
# The cables, stations and boards, by their ids (kept from the first cable on).
trap 'end_kept_pids; rm -rf "$WORK"' EXIT
. "$(dirname "$0")/../support/checks.sh"

# gzip's trailer holds the CRC-32 of the data, little-endian.
crc32() {
    echo "0x$(gzip -c "$1" | tail -c 8 | od -An -tx4 --endian=little -N4 | tr -d ' \n')"
}

hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

export PATH="$BLOCKXFER_DIR:$PATH"
export QT_QPA_PLATFORM=offscreen
mkdir "$WORK/lines"
keep_pids_in "$WORK/lines/pids"

# One PC: the four cables, each published like a serial device.
for d in $DIGITS; do
    cable_start "$NULLMODEM" "$WORK/lines/com$d" "$WORK/lines/board$d" "$WORK/lines/com$d.out" \
        --baud 115200 --trace "$WORK/lines/com$d.trace" --max-seconds 120 || exit 1
    export "COM$d=$WORK/lines/com$d"
done

# The station folders: an image of its own, and the job on its own port.
for d in $DIGITS; do
    dir="$WORK/station$d"
    mkdir "$dir"
    head -c $((6000 + d * 1111)) /dev/urandom >"$dir/fw.bin"
    # The trap tells the test's operator that the job is over (the operator
    # takes the note away when it closes the box).
    printf '%s\n' "trap 'echo \$? > job-done' EXIT" "blockxfer -p$d -sy fw.bin -lfLOG -lx\"=> \"" >"$dir/run.bat"
done

for d in $DIGITS; do
    (cd "$WORK/station$d" && exec "$STATION_INSTANCE" --time-divisor $DIVISOR --job-done job-done) \
        >"$WORK/station$d.out" 2>&1 &
    keep_pid $!
    station_pid[$d]=$!
done
for d in $DIGITS; do
    await_text "$WORK/station$d.out" '^port is open$' ||
        { echo "station $d did not open its port: $(cat "$WORK/station$d.out")" >&2; exit 1; }
done

# Every port is taken: neither a blockxfer nor a second station gets in.
mkdir "$WORK/intruder"
for d in $DIGITS; do
    (cd "$WORK/intruder" && blockxfer -p$d -lfX -lt0 >/dev/null 2>"$WORK/intruder/err")
    expect_eq "port $d: a blockxfer is refused while station $d holds it" \
        "154 Can't open port. Error -102" "$? $(cat "$WORK/intruder/err")"
done
printf 'blockxfer -p3 -sy fw.bin\n' >"$WORK/intruder/run.bat"
(cd "$WORK/intruder" && "$STATION_INSTANCE" --time-divisor $DIVISOR --job-done x >"$WORK/intruder/station.out" 2>&1)
expect_eq "port 3: a second station is refused" "1" "$?"
# Qt's own lock file turns it away before our lock is tried.
expect_eq "port 3: the second station names the port it could not have" "flashstation: $COM3:" \
    "$(grep -m1 '^flashstation:' "$WORK/intruder/station.out" | cut -d' ' -f1-2)"

# The boards come alive; each station sees its board, starts its job and
# shows the result.
for d in $DIGITS; do
    "$FAKEBOARD" --port "$WORK/lines/board$d" --banner-line-delay-ms 50 --max-seconds 120 \
        >"$WORK/lines/board$d.out" 2>&1 &
    keep_pid $!
done
for d in $DIGITS; do
    wait "${station_pid[$d]}"
    expect_eq "station $d: ended after its cycle" 0 "$?"
done

for d in $DIGITS; do
    dir="$WORK/station$d"
    size=$(stat -c %s "$dir/fw.bin")
    crc=$(crc32 "$dir/fw.bin")
    expect_eq "station $d: what the operator saw" \
        "box \"PROGRAM COMPLETE...!!!\", Text2 \"Program Success...\"|cycle 1: port reopened" \
        "$(grep -E '^(box|cycle)' "$WORK/station$d.out" | paste -sd'|')"
    expect_eq "station $d: the board got this station's image" \
        "upload ok: $size bytes, crc32 $crc" "$(grep '^upload' "$WORK/lines/board$d.out")"
    expect_eq "station $d: LOG holds the board's report of it" \
        "## Size: $size bytes|## CRC-32: $crc" "$(tr -d '\r' <"$dir/LOG" | grep -E '^## (Size|CRC)' | paste -sd'|')"
    expect_eq "station $d: one PASS of port $d in its stationlog.csv" \
        "time,port,result,seconds,log,job exit,job seconds|,$d,PASS," \
        "$(tr -d '\r' <"$dir/stationlog.csv" | sed -E '2s/^[^,]*(,[0-9]+,[A-Z]+,)[^,]*,.*$/\1/' | paste -sd'|')"
    expect_eq "station $d: its folder holds its own files only" \
        "LOG fw.bin run.bat stationlog.csv" "$(ls "$dir" | paste -sd' ')"
    # The cable's record: one header, this station's file and size, went
    # to this board, and nothing else looked like one.
    header="0100ff$(hex "fw.bin")00$(hex "$size")"
    headers=$(awk '$2 == "ab" { printf "%s", $4 }' "$WORK/lines/com$d.trace" |
        grep -o "0100ff$(hex "fw.bin")00[0-9a-f]*" | cut -c1-${#header})
    expect_eq "station $d: its cable carried exactly one image header" "$header" "$headers"
done
expect_eq "nothing left beside the folders" "intruder lines station2 station3 station5 station8" \
    "$(ls "$WORK" | grep -v '\.out$' | paste -sd' ')"

finish
