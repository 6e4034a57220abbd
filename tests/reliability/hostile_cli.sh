#!/bin/bash
# Odd and hostile input to the real blockxfer, end to end over a simulated
# line: a lone double quote as argument, -lx at 128 and 129 bytes, a log
# device that never falls silent, FILE a directory or unreadable, and a
# disk that fills up while receiving. Each must give its message and code
# (the status a shell sees is the code modulo 256) and lose nothing on disk
# that was not asked to be overwritten.
#
# Needs BLOCKXFER; NULLMODEM is used when set, else socat. The full-disk
# case mounts a small tmpfs (root, CAP_SYS_ADMIN) and otherwise falls back
# to a file size limit; the unreadable case needs a user other than root
# (setpriv), since root reads any file.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/line.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/hostile.XXXXXX")
LINE_DIR=$work
mounted=""
cleanup() {
    stop_line
    jobs -p | xargs -r kill 2>/dev/null
    [ -n "$mounted" ] && umount "$mounted" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
. "$here/../support/checks.sh"

# run_bx OUTFILE ERRFILE ARGS...: blockxfer with a time limit; prints status.
run_bx() {
    local out=$1 err=$2
    shift 2
    timeout 60 "$BLOCKXFER" "$@" >"$out" 2>"$err"
    echo $?
}

raw_end() {  # raw_end PATH: the far end as a plain byte pipe
    stty -F "$1" raw -echo 2>/dev/null
}

# --- a lone double quote ----------------------------------------------------
start_line
status=$(run_bx out err -p"$work/a" '"')
expect_eq "lone quote is the FILE to send" "Can't open file '\"'. Error -300" "$(cat err)"
expect_eq "lone quote status" 212 "$status"
status=$(run_bx out err -p"$work/a" '""')
expect_eq "quotes around nothing" "Can't open file ''. Error -300" "$(cat err)"

# --- -lx with 128 and 129 bytes ----------------------------------------------
stop128=$(head -c 128 /dev/zero | tr '\0' 'S')
stop129="${stop128}S"
status=$(run_bx out err -p"$work/a" -lfLOG129 "-lx$stop129")
expect_eq "129-byte stop string" "String too long in -lx option. Max length is 128
Try '$BLOCKXFER -h' for more information." "$(cat err)"
expect_eq "129-byte stop string status" 1 "$status"
expect_eq "no log created on a command-line error" "no" "$([ -e LOG129 ] && echo yes || echo no)"

raw_end "$work/b"
(timeout 60 "$BLOCKXFER" -p"$work/a" -lfLOG128 -lt5 "-lx$stop128" >out128 2>err128; echo $? >status128) &
capture=$!
await_text out128 Capturing
# Split in two writes, the second holding the last byte only.
printf 'before %s' "${stop128%S}" >"$work/b"
sleep 0.3
printf 'S and after\n' >"$work/b"
wait $capture
expect_eq "128-byte stop string found" "Capturing log to LOG128...
Log capture termination string found." "$(cat out128)"
expect_eq "128-byte stop string status" 0 "$(cat status128)"
expect_eq "log holds everything" "before ${stop128} and after" "$(cat LOG128)"
stop_line

# --- a log device that never falls silent -----------------------------------
# 40 KB of numbered lines at 115200 baud take about 3.5 s, far longer than
# the 1 s log timeout: the capture must keep going, the log must grow
# while it runs, and nothing may be lost.
start_line --baud 115200
raw_end "$work/b"
for i in $(seq 1 1000); do printf 'console line %05d: the board keeps talking\n' "$i"; done >talk.txt
(timeout 60 "$BLOCKXFER" -p"$work/a" -lfLOGTALK -lt1 >outtalk 2>errtalk; echo $? >statustalk) &
capture=$!
await_text outtalk Capturing
cat talk.txt >"$work/b" &
sleep 1.5
size1=$(stat -c %s LOGTALK)
sleep 1.2
size2=$(stat -c %s LOGTALK)
wait $capture
expect_eq "endless talk ends on silence" "Capturing log to LOGTALK...
Log capture timeout." "$(cat outtalk)"
expect_eq "endless talk status" 0 "$(cat statustalk)"
expect_eq "log grows while the device talks" "yes" "$([ "$size1" -gt 0 ] && [ "$size2" -gt "$size1" ] && echo yes || echo "no ($size1, $size2)")"
expect_eq "nothing of the talk lost" "$(md5sum <talk.txt)" "$(md5sum <LOGTALK)"
stop_line

# --- FILE a directory -------------------------------------------------------
start_line
mkdir adir
status=$(run_bx out err -p"$work/a" -sy adir)
case "$(cat err)" in
    "Can't open file 'adir'. Error -300" | "Error during file transfer. Error -300") ok=yes ;;
    *) ok="no: $(cat err)" ;;
esac
expect_eq "directory to send" yes "$ok"
expect_eq "directory to send status" 212 "$status"
status=$(run_bx out err -p"$work/a" -rx adir)
expect_eq "directory to receive into" "Can't create file 'adir'. Error -400" "$(cat err)"
expect_eq "directory to receive into status" 112 "$status"
expect_eq "directory untouched" "" "$(ls -A adir)"

# --- FILE unreadable --------------------------------------------------------
echo secret >secret.bin
chmod 000 secret.bin
if [ "$(id -u)" -ne 0 ]; then
    status=$(run_bx out err -p"$work/a" -sy secret.bin)
    expect_eq "unreadable file" "Can't open file 'secret.bin'. Error -300" "$(cat err)"
    expect_eq "unreadable file status" 212 "$status"
elif command -v setpriv >/dev/null && chmod 755 "$work" &&
    chmod 666 "$(readlink -f "$work/a")" 2>/dev/null; then
    # Root reads any file: run this one case as nobody.
    status=$(timeout 60 setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$BLOCKXFER" -p"$work/a" -sy secret.bin >out 2>err; echo $?)
    expect_eq "unreadable file (as nobody)" "Can't open file 'secret.bin'. Error -300" "$(cat err)"
    expect_eq "unreadable file status" 212 "$status"
else
    echo "SKIP: unreadable file: running as root without setpriv" >&2
fi
stop_line

# --- a disk that fills up while receiving ------------------------------------
head -c 200000 /dev/urandom >big.bin

# $1: folder to receive in, $2: what fills up, $3: shell text run first.
full_disk_case() {
    local dir=$1 how=$2 limit=$3
    echo "keep me" >"$dir/keep.txt"
    start_line
    (cd "$dir" && bash -c "$limit exec timeout 60 \"\$0\" -p\"\$1\" -r" "$BLOCKXFER" "$work/a" \
        >"$work/outfull" 2>"$work/errfull"; echo $? >"$work/statusfull") &
    local receiver=$!
    status=$(run_bx outsend errsend -p"$work/b" -sy big.bin)
    wait $receiver
    expect_eq "full disk ($how): receiver message" "Error during file transfer. Error -400" "$(cat errfull)"
    expect_eq "full disk ($how): receiver status" 112 "$(cat statusfull)"
    # The cancel's CAN answer a block: the first counts, the second ends
    # the send at once.
    expect_eq "full disk ($how): sender takes the cancel" "Error during file transfer. Error -302" "$(cat errsend)"
    expect_eq "full disk ($how): sender status" 210 "$status"
    expect_eq "full disk ($how): other files kept" "keep me" "$(cat "$dir/keep.txt")"
    local got
    got=$(stat -c %s "$dir/big.bin" 2>/dev/null || echo 0)
    expect_eq "full disk ($how): what was written is the file's start" \
        "$(head -c "$got" big.bin | md5sum)" "$(md5sum <"$dir/big.bin")"
    stop_line
}

mkdir disk limited
if mount -t tmpfs -o size=64k tmpfs disk 2>/dev/null; then
    mounted="$work/disk"
    full_disk_case disk "a 64 KiB tmpfs" ""
else
    echo "SKIP: full tmpfs: cannot mount here" >&2
fi
# The signal of a file size limit stays at its default action: blockxfer
# must not be killed by it, the write must fail as on a full disk.
full_disk_case limited "a 64 KiB file size limit" "ulimit -f 64;"

finish
