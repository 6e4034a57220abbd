#!/usr/bin/env bash
# The command line and the driver as a user meets them: exact texts on the
# right stream and the exit statuses a shell sees.
. "$(dirname "$0")/lib.sh"
B=$BLOCKXFER
cd "$WORK"

run() {  # run ARGS...: sets out, err, status
    out=$("$B" "$@" 2> "$WORK/stderr")
    status=$?
    err=$(cat "$WORK/stderr")
}

usage=$(cat <<'TEXT'
Usage: blockxfer [OPTION]... FILE [DST-FILE]
Tranfer a file using X-Modem or Y-Modem protocols

  -s[y|x|k]       Send file.
                  If 'y' is specifieied Y-Modem protocol is used. (Default)
                  If 'x' is specifieied X-Modem protocol is used.
                  If 'k' is specifieied X-Modem 1K protocol is used.
  -r[y|g|x|c]     Receive file.
                  If 'y' is specifieied Y-Modem protocol is used. (Default)
                  If 'g' is specifieied Y-Modem G protocol is used.
                  If 'x' is specifieied X-Modem protocol is used.
                  If 'c' is specifieied X-Modem CRC protocol is used.
  -pPORT          Use communications port PORT. Default is 1
  -bBAUD          Set baud rate for port to BAUD. Default is 115200
  -tTIMEOUT       Set timeout for transfer start (in seconds). Default is 30
  -lfLOG          Capture log after transfer and write it to file LOG
  -le             Echo the captured log to STDOUT.
  -ltLOGTIMEOUT   Timeout for log capture (in seconds). Default is 10
  -lxSTRING       End log capture when STRING is received

FILE is optional when receiving a file by Y-Modem: options -ry or -rg
DST-FILE is the name sent to receiver when using Y-Modem. Default is FILE.
TEXT
)
mkdir -p bin && ln -sf "$B" bin/blockxfer
out=$(PATH="$WORK/bin:$PATH" blockxfer -h 2> stderr); status=$?
expect_eq "help text" "$usage" "$out"
expect_eq "help status" 1 "$status"
expect_eq "help writes nothing to stderr" "" "$(cat stderr)"
expect_eq "help ends with one newline" 22 "$(PATH="$WORK/bin:$PATH" blockxfer -h | wc -l)"
long=$(PATH="$WORK/bin:$PATH" blockxfer --help 2> stderr); status=$?
expect_eq "--help begins with the -h text" "$usage" "$(head -22 <<< "$long")"
check "--help lists the long options" grep -q -- '--send-line TEXT' <<< "$long"
check "--help lists --follow-baud-switch" grep -q -- '--follow-baud-switch' <<< "$long"
expect_eq "--help status" 1 "$status"

run -q
expect_eq "invalid option" "Invalid option '-q'
Try '$B -h' for more information." "$err"
expect_eq "invalid option status" 1 "$status"
expect_eq "invalid option stdout" "" "$out"

run -p1000
expect_eq "port 1000" "Can't open port. Error -101" "$err"
expect_eq "port 1000 status" 155 "$status"

COM7=/nonexistent/tty run -p7
expect_eq "missing device" "Can't open port. Error -101" "$err"

start_line
COM7=$WORK/a run -p7 -b0
expect_eq "baud 0" "Can't initialise port. Error -103" "$err"
expect_eq "baud 0 status" 153 "$status"

COM1=$WORK/a run
expect_eq "no arguments: quiet success" "0||" "$status|$out|$err"

# Other programs read a standard rate through the ordinary termios calls.
COM1=$WORK/a run -b921600
expect_eq "standard rate set" "0" "$status"
expect_eq "stty sees the standard rate" "921600" "$(stty -F "$WORK/a" speed 2>&1)"

# Another blockxfer holds the port while it captures a log.
"$B" -p"$WORK/a" -lfheld.log -lt5 > "$WORK/holder.out" &
holder=$!
await_text "$WORK/holder.out" Capturing 2
run -p"$WORK/a"
expect_eq "held port" "Can't open port. Error -102" "$err"
expect_eq "held port status" 154 "$status"
kill "$holder"; wait "$holder" 2>/dev/null

run -p"$WORK/a" -lf
expect_eq "empty log name" "Can't create LogFile file ''. Error -501" "$err"
expect_eq "empty log name status" 11 "$status"

rm -f LOG
run -p"$WORK/a" -s -lfLOG
expect_eq "send without file" "File argument missing
Try '$B -h' for more information." "$err"
check "log created before the missing file is reported" test -f LOG

run -p"$WORK/a" -sy no-such-file
expect_eq "missing source" "Can't open file 'no-such-file'. Error -300" "$err"
expect_eq "missing source status" 212 "$status"
expect_eq "missing source stdout" "" "$out"

mkdir -p adir
run -p"$WORK/a" -sy adir
expect_eq "directory as source" "212" "$status"

run -p"$WORK/a" -rx
expect_eq "x-modem receive needs a file" "File argument missing
Try '$B -h' for more information." "$err"

echo keep > LOG
run -p"$WORK/a" -r -t0 -lfLOG
expect_eq "receive ignores the log" "keep" "$(cat LOG)"
expect_eq "receive timeout" "Error during file transfer. Error -200" "$err"
expect_eq "receive timeout status" 56 "$status"

run -p"$WORK/a" -rx -t0 /nonexistent-dir/out
expect_eq "uncreatable output" "Can't create file '/nonexistent-dir/out'. Error -400" "$err"

finish
