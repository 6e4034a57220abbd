#!/bin/bash
# The bench on Windows, under Wine: flashstation.exe and blockxfer.exe on
# the simulated bench. Xvfb is the display, the Wine prefix is the test's
# own, COM3 is one end of nullmodem (a dosdevices link, and the registry's
# port table so that Wine keeps it), fakeboard is on the other end, and
# run.bat, with CR LF line ends, runs "blockxfer -p3 -sy fw.bin -lfLOG".
# xdotool types the operator's Enter into each result box, and
# window_peek.exe reads what the window shows (Wine's controls are not X
# windows).
#
#   wine_station.sh --exe-dir DIR --nullmodem PATH --fakeboard PATH
#                   [--work DIR] [--real-time] [--screenshots DIR]
#
#   --exe-dir      a Windows build folder (tools/build_windows.sh --station); built
#                  there when its programs are missing
#   --real-time    one board at the real pace (100 ticks of 1105 ms), then
#                  the next board's text on the reopened port, then EXIT.
#                  Without it the station's timer and pause run 5 times as
#                  fast and five boards go through: two good ones, one whose
#                  job cannot find blockxfer (so LOG is the last board's:
#                  stale), one that is silent after its upload, and one whose
#                  job outlasts the 100 ticks; then a station started with
#                  --early-result programs one more
#   --screenshots  saves the screen at each phase as PNG files in DIR
#                  (needs ImageMagick's import)
#
# Exits 77 (skipped) when Wine, Xvfb, xdotool, or the programs and
# mingw-w64 to build them, are missing.
set -u

SKIP=77
here=$(cd "$(dirname "$0")" && pwd)
exe_dir=""
nullmodem=""
fakeboard=""
work=""
real_time=0
shots=""
while [ $# -gt 0 ]; do
    case $1 in
    --exe-dir) exe_dir=$2; shift 2 ;;
    --nullmodem) nullmodem=$2; shift 2 ;;
    --fakeboard) fakeboard=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --real-time) real_time=1; shift ;;
    --screenshots) shots=$2; shift 2 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
    esac
done

skip() {
    echo "SKIPPED: $*"
    exit $SKIP
}

[ -n "$exe_dir" ] && [ -x "$nullmodem" ] && [ -x "$fakeboard" ] ||
    { echo "--exe-dir, --nullmodem and --fakeboard are required" >&2; exit 2; }
command -v wine >/dev/null || skip "wine not installed (apt-get install wine wine64)"
command -v Xvfb >/dev/null || skip "Xvfb not installed (apt-get install xvfb)"
command -v xdotool >/dev/null || skip "xdotool not installed"
[ -z "$shots" ] || command -v import >/dev/null || skip "--screenshots needs ImageMagick's import"

blockxfer_exe=$exe_dir/bin/blockxfer.exe
station_exe=$exe_dir/bin/flashstation.exe
peek_exe=$exe_dir/bin/window_peek.exe
if [ ! -f "$blockxfer_exe" ] || [ ! -f "$station_exe" ] || [ ! -f "$peek_exe" ]; then
    command -v x86_64-w64-mingw32-g++ >/dev/null || skip "no Windows programs and no mingw-w64 to build them"
    "$here/../../tools/build_windows.sh" "$exe_dir" --station >/dev/null 2>"$exe_dir.log" ||
        { cat "$exe_dir.log"; echo "FAIL: cross-build"; exit 1; }
fi

work=${work:-$(mktemp -d /tmp/wine_station.XXXXXX)}
rm -rf "$work"
mkdir -p "$work/bench"
work=$(cd "$work" && pwd)
bench=$work/bench
if [ -n "$shots" ]; then
    mkdir -p "$shots"
    shots=$(cd "$shots" && pwd)
fi

started=$(date +%s)
note() { printf '%4d s  %s\n' $(($(date +%s) - started)) "$*"; }
. "$here/../support/checks.sh"
# Every check gets a line, with the seconds since the start.
check_passed() { note "ok    $1"; }
check_failed() { note "FAIL  $1"; }

xvfb_pid=""
line_pid=""
board_pid=""
station_pid=""
cleanup() {
    # wineserver first: it holds the pty open and must not outlive it.
    [ -n "${WINEPREFIX:-}" ] && { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; }
    for pid in $board_pid $line_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
}
trap cleanup EXIT

# A display of our own; -displayfd picks a free number.
Xvfb -displayfd 3 -screen 0 800x480x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
. "$here/../../tools/cable.sh"
wait_until 5 test -s "$work/display" || { cat "$work/xvfb.log"; echo "FAIL: no Xvfb"; exit 1; }
export DISPLAY=:$(cat "$work/display")
# From here on each look at the window runs window_peek.exe under Wine.
AWAIT_STEP=0.5
cable_start "$nullmodem" "$work/com3.tty" "$work/board.tty" "$work/line.out" --baud 115200 --latency-ms 1 \
    --max-seconds 900 --trace "$work/line.trace" || { echo "FAIL: no line"; exit 1; }
line_pid=$CABLE_PID

export WINEPREFIX=$work/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >"$work/wineboot.log" 2>&1
wineserver -w
# Wine draws its own captions (there is no window manager); COM3 is the
# line in Wine's port table, so that Wine does not point it at /dev/ttyS2.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Decorated"="N"\r\n\r\n' >"$work/bench.reg"
printf '[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n"COM3"="%s"\r\n' "$work/com3.tty" >>"$work/bench.reg"
wine regedit /S "$work/bench.reg" >"$work/regedit.log" 2>&1
wineserver -w
ln -sfn "$work/com3.tty" "$WINEPREFIX/dosdevices/com3"
wineserver -p
note "prefix ready"

cp "$blockxfer_exe" "$station_exe" "$bench/"
cp "$peek_exe" "$work/"
head -c 20000 /dev/urandom >"$bench/fw.bin"
printf '@echo off\r\nrem Program one board on COM3.\r\nblockxfer -p3 -sy fw.bin -lfLOG\r\n' >"$bench/run.bat"

title="Program Update Firmware Rev.00"
# The layout table the window is built from, one control a line in twips;
# a control's id is 100 + its place in the table.
(cd "$work" && wine window_peek.exe --layout) 2>/dev/null | tr -d '\r' | grep '^layout ' >"$work/layout.txt"
[ "$(wc -l <"$work/layout.txt")" -eq 10 ] || { cat "$work/layout.txt"; echo "FAIL: no layout table"; exit 1; }
id_of() { awk -v name="$1" '$2 == name { print 99 + NR }' "$work/layout.txt"; }
id_Picture1=$(id_of Picture1)
id_Label4=$(id_of Label4)
id_EXIT=$(id_of Command1)
id_txtReceive=$(id_of txtReceive)
id_Label1=$(id_of Label1)
id_Label2=$(id_of Label2)
id_Text2=$(id_of Text2)
id_Time1=$(id_of Time1)

peek() {  # the window's state into $work/peek.txt; false when there is no window
    (cd "$work" && wine window_peek.exe "$title") >"$work/peek.raw" 2>/dev/null
    local found=$?
    # The Windows C library writes CR LF.
    tr -d '\r' <"$work/peek.raw" >"$work/peek.txt"
    return $found
}
shown() {  # shown ID: the text of a control as the last peek saw it
    sed -n "s/^control $1 [^|]*|\(.*\)|\$/\1/p" "$work/peek.txt"
}
shows() {  # shows ID TEXT
    [ "$(shown "$1")" = "$2" ] || { echo "      control $1 shows '$(shown "$1")', not '$2'"; return 1; }
}
box_open() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
box_closed() { ! box_open "$1"; }
peek_shows() { peek && shows "$@"; }  # peek_shows ID TEXT
peek_holds() { peek && grep -q "$1" "$work/peek.txt"; }  # peek_holds PATTERN
programming() { peek && [ "$(shown $id_Text2)" = "Writing Program..." ] && [ -n "$(shown $id_Label2)" ]; }
ticks_at_least() { peek && [ "$(shown $id_Label2)" -ge "$1" ] 2>/dev/null; }
reset_done() {
    peek && shows $id_Label1 "Please Insert Main Board" && shows $id_Text2 "" && shows $id_Label2 "" &&
        shows $id_Time1 "" && shows $id_txtReceive ""
}
job_ended() { ! job_running; }
in_range() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }  # in_range VALUE LOW HIGH
console_gone() { ! xdotool search --onlyvisible --name 'cmd\.exe' >/dev/null 2>&1; }
station_ended() { ! kill -0 "$station_pid" 2>/dev/null; }
snap() {  # snap NAME: the screen around the station's window and its box
    [ -n "$shots" ] || return 0
    import -window root "$work/screen.png" 2>/dev/null
    local geometry
    geometry=$(xdotool search --onlyvisible --name '^(Program Update Firmware Rev\.00|PROGRAM .*)$' \
        getwindowgeometry %@ 2>/dev/null |
        awk '/Position/ {split($2, p, ","); x = p[1] + 0; y = p[2] + 0}
             /Geometry/ {split($2, s, "x");
                         if (n++ == 0) {l = x; t = y; r = x + s[1]; b = y + s[2]}
                         if (x < l) l = x; if (y < t) t = y;
                         if (x + s[1] > r) r = x + s[1]; if (y + s[2] > b) b = y + s[2]}
             END {printf "%dx%d+%d+%d", r - l, b - t, l, t}')
    convert "$work/screen.png" -crop "$geometry" +repage "$shots/$1" && note "saved $shots/$1"
}
job_running() {  # a blockxfer.exe of this prefix is still running
    local pid
    # Wine shows a program's command line as it was given: "blockxfer -p3 ...".
    for pid in $(pgrep -f '^([^ ]*[\/])?blockxfer(\.exe)?( |$)'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
# The operator's Enter: xdotool focuses the box and types it.
press_enter() {  # press_enter TITLE-PATTERN
    local box attempt
    for attempt in 1 2 3; do
        box=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)
        [ -n "$box" ] || return 0
        xdotool windowfocus --sync "$box" 2>/dev/null
        xdotool key Return
        wait_until 5 box_closed "$1" && return 0
        note "      the box is still open after Enter (attempt $attempt)"
    done
    return 1
}
# The board's end types TEXT and reads what the station answers (CR CR LF),
# on one open of the end, so that no answer comes while it is closed. The
# end keeps the settings of the last program on it (a board may leave reads
# that return at once), so the reads get their own. A loaded machine may
# take Wine seconds to answer.
board_says() {  # board_says TEXT: prints the answer as od -c shows it
    { stty raw -echo min 1 time 0; printf '%b' "$1" >&0; timeout 15 dd bs=1 count=3 2>/dev/null; } \
        <>"$work/board.tty" | od -An -c | tr -s ' '
}

start_board() {  # start_board NAME [fakeboard options]
    local name=$1
    shift
    "$fakeboard" --port "$work/board.tty" --banner-line-delay-ms 50 --max-seconds 400 "$@" \
        >"$work/$name.out" 2>&1 &
    board_pid=$!
}
stop_board() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
    board_pid=""
}

success_box='^PROGRAM COMPLETE\.\.\.!!!$'
error_box='^PROGRAM ERROR$'
divisor=5
[ $real_time -eq 1 ] && divisor=1
cycle_seconds=$(((5000 + 110500) / 1000 / divisor + 1))

# ---- start-up failures: a box that names the failure, then status 1 ----
# start_must_fail NAME RUN.BAT-CONTENT|- TEXT: "-" leaves run.bat out.
start_must_fail() {
    local name=$1 job=$2 text=$3 dir=$work/$1
    mkdir -p "$dir"
    cp "$station_exe" "$dir/"
    [ "$job" = - ] || printf '%s\r\n' "$job" >"$dir/run.bat"
    (cd "$dir" && exec wine flashstation.exe) >"$dir/station.out" 2>&1 &
    local pid=$!
    check "$name: a box" wait_until 30 box_open '^flashstation$'
    (cd "$work" && wine window_peek.exe --boxes) >"$work/boxes.raw" 2>/dev/null
    check "$name: it says '$text'" grep -qF "static |$text|" <(tr -d '\r' <"$work/boxes.raw")
    check "$name: no window" bash -c "! grep -q '^window |$title|' <(tr -d '\r' <'$work/boxes.raw')"
    press_enter '^flashstation$'
    wait "$pid"
    local status=$?
    check "$name: exit status 1" [ $status -eq 1 ]
}
if [ $real_time -eq 0 ]; then
    # COM5 links to nothing: "no such device" from CreateFileA.
    ln -sfn "$work/nowhere" "$WINEPREFIX/dosdevices/com5"
    start_must_fail "no run.bat" - "run.bat is missing or cannot be read."
    start_must_fail "port digit 0" "blockxfer -p0 -sy fw.bin -lfLOG" \
        "Port 0 cannot be used: the last line of run.bat must begin with blockxfer -p1 to -p9."
    start_must_fail "no COM5" "blockxfer -p5 -sy fw.bin -lfLOG" "Port 5 names no serial port."
fi

# ---- start-up ----
(cd "$bench" && FLASHSTATION_TEST_TIME_DIVISOR=$divisor exec wine flashstation.exe) >"$work/station.out" 2>&1 &
station_pid=$!
check "the window comes up" wait_until 30 peek
check "client area 634 x 306" grep -qx "client 634x306" "$work/peek.txt"
layout_ok() {
    local expected got
    expected=$(awk '{ printf "%d %d,%d %dx%d|", 99 + NR, $3 / 15, $4 / 15, $5 / 15, $6 / 15 }' "$work/layout.txt")
    got=$(awk '/^control/ {print $2, $4, $5}' "$work/peek.txt" | sort -n | tr '\n' '|')
    [ "$got" = "$expected" ] || { echo "      got      $got"; echo "      expected $expected"; return 1; }
}
check "controls at their twips, 15 to a pixel" layout_ok
check "port 3 read from run.bat" shows $id_Label4 3
check "waiting: Label1 Please Insert Main Board" shows $id_Label1 "Please Insert Main Board"
check "waiting: Time1 one blank, Label2 and Text2 empty" \
    eval 'shows $id_Time1 " " && shows $id_Label2 "" && shows $id_Text2 ""'
check "the focus is in txtReceive" wait_until 5 peek_holds "^control $id_txtReceive .* focus "
snap wine-1-waiting.png
focused() { peek && grep -q "^control $1 .* focus " "$work/peek.txt"; }
tab_to() {  # tab_to KEY ID: the key moves the focus to control ID
    xdotool windowfocus --sync "$(xdotool search --onlyvisible --name "^$title\$" | head -n 1)" 2>/dev/null
    xdotool key "$1"
    wait_until 3 focused "$2"
}
if [ $real_time -eq 0 ]; then
    check "Tab: Text2" tab_to Tab $id_Text2
    check "Tab: EXIT" tab_to Tab $id_EXIT
    check "Tab: Picture1" tab_to Tab $id_Picture1
    check "Tab: back to txtReceive" tab_to Tab $id_txtReceive
    check "Shift+Tab: Picture1" tab_to shift+Tab $id_Picture1
    check "Tab: txtReceive again" tab_to Tab $id_txtReceive
fi

# A board that talks without the trigger text, typed into the line by hand.
reply=$(board_says '\r\nU-Boot 2024.01 (Mar 04 2024 - 10:21:07 +0000)\r\n\r\nCPU:   ARM Cortex-A7\r\nDRAM:  256 MiB\r\n')
check "the board's text is answered with CR CR LF (got '$reply')" [ "$reply" = " \r \r \n" ]
check "board talking: Label1 Don't remove before finish" wait_until 5 peek_shows $id_Label1 "Don't remove before finish"
check "txtReceive holds the board's text" grep -q "DRAM:  256 MiB" "$work/peek.txt"
snap wine-2-board-talking.png

# One board: the trigger, the job, the result box, Enter, the reset.
# run_board NAME BOX-PATTERN TEXT2 LABEL1 [fakeboard options]
run_board() {
    local name=$1 box=$2 text2=$3 label1=$4
    shift 4
    note "board: $name"
    start_board "$name" "$@"
    check "$name: trigger found, Writing Program..., ticks counting" wait_until 20 programming
    if [ "$name" = "good-1" ] && [ -n "$shots" ]; then
        # Once the job's console window has gone from over the station's.
        wait_until 30 job_running && wait_until 60 job_ended && wait_until 10 console_gone
        snap wine-3-programming.png
    fi
    local armed_at
    armed_at=$(date +%s)
    check "$name: the result box" wait_until $((cycle_seconds + 30)) box_open "$box"
    local programming_seconds=$(($(date +%s) - armed_at))
    note "      box after $programming_seconds s of programming"
    check "$name: the job had ended when the box came" job_ended
    last_programming_seconds=$programming_seconds
    # Seen from the first tick on, so a second or so short of the 110.5 s.
    [ $real_time -eq 0 ] || check "$name: the result after 100 ticks of 1105 ms" \
        in_range $programming_seconds 105 120
    peek
    check "$name: Text2 '$text2'" shows $id_Text2 "$text2"
    check "$name: Label1 '$label1'" shows $id_Label1 "$label1"
    (cd "$work" && wine window_peek.exe --boxes) >"$work/boxes.raw" 2>/dev/null
    tr -d '\r' <"$work/boxes.raw" | sed -n '/^window |PROGRAM /,/^window /p' >"$work/box.txt"
    check "$name: the box says Click for restart." grep -qx "  static |Click for restart.|" "$work/box.txt"
    if [ "$box" = "$success_box" ]; then
        check "$name: Time1 has the date and time" [ -n "$(shown $id_Time1)" ]
        check "$name: the box has no icon" bash -c "! grep -q 'icon shown' '$work/box.txt'"
        [ "$name" = "good-1" ] && snap wine-4-success.png
    else
        check "$name: no date and time in Time1" [ -z "$(shown $id_Time1 | tr -d ' ')" ]
        check "$name: the box has the stop icon" grep -q "icon shown" "$work/box.txt"
        [ "$name" = "silent" ] && snap wine-5-failure.png
    fi
    # The operator takes the board away and closes the box, once the job
    # is done with the port.
    check "$name: the job has ended" wait_until 60 job_ended
    stop_board
    check "$name: Enter closes the box" press_enter "$box"
    check "$name: reset for the next board" wait_until 10 reset_done
}

if [ $real_time -eq 1 ]; then
    run_board good-1 "$success_box" "Program Success..." "Please remove Main Board"
    check "a whole cycle at the real pace" grep -q "upload ok: 20000 bytes" "$work/good-1.out"
    reply=$(board_says 'next board\r\n')
    check "the reopened port answers the next board (got '$reply')" [ "$reply" = " \r \r \n" ]
    check "the next board's text is shown" wait_until 5 peek_holds "next board"
else
    run_board good-1 "$success_box" "Program Success..." "Please remove Main Board"
    run_board good-2 "$success_box" "Program Success..." "Please remove Main Board"
    check "both good boards got the image" \
        eval 'grep -q "upload ok: 20000 bytes" "$work/good-1.out" && grep -q "upload ok: 20000 bytes" "$work/good-2.out"'
    # The job cannot find blockxfer: LOG is still the second board's.
    mv "$bench/blockxfer.exe" "$bench/blockxfer.hidden"
    run_board stale "$error_box" "Program Error !!!!!!!! " "Please Check Mainbord"
    check "stale: LOG still holds the second board's report" grep -q "CRC-32" "$bench/LOG"
    mv "$bench/blockxfer.hidden" "$bench/blockxfer.exe"
    run_board silent "$error_box" "Program Error !!!!!!!! " "Please Check Mainbord" --silent-after
    check "silent: the upload worked, LOG is empty" \
        eval 'grep -q "upload ok: 20000 bytes" "$work/silent.out" && [ ! -s "$bench/LOG" ]'
    # A job that outlasts the 100 ticks: its log capture waits out 35 s of
    # silence after the board's report.
    printf '@echo off\r\nblockxfer -p3 -sy fw.bin -lfLOG -lt35\r\n' >"$bench/run.bat"
    run_board long "$success_box" "Program Success..." "Please remove Main Board"
    check "long: decided after the job, not at the 100th tick" [ "$last_programming_seconds" -ge 35 ]
    printf '@echo off\r\nrem Program one board on COM3.\r\nblockxfer -p3 -sy fw.bin -lfLOG\r\n' >"$bench/run.bat"
    results=$(cut -d, -f2,3 "$bench/stationlog.csv" | tr '\r\n' '  ' | tr -s ' ')
    check "stationlog.csv: PASS, PASS, FAIL, FAIL, PASS on port 3" \
        [ "$results" = "port,result 3,PASS 3,PASS 3,FAIL 3,FAIL 3,PASS " ]
    # The job's exit status and seconds follow the older columns.
    jobs=$(tr -d '\r' <"$bench/stationlog.csv" | awk -F, 'NR == 1 || $3 == "PASS" { print $(NF-1) }' | paste -sd' ')
    check "stationlog.csv: exit 0 of each passed job, after the log field" [ "$jobs" = "job exit 0 0 0" ]
fi

# EXIT ends the program with status 0.
(cd "$work" && wine window_peek.exe "$title" --click $id_EXIT) >/dev/null 2>&1
wait_until 20 station_ended
wait "$station_pid"
status=$?
check "EXIT ends the program with status 0" [ $status -eq 0 ]

if [ $real_time -eq 0 ]; then
    # The early result: the box right after the job, not at the 100th tick.
    (cd "$bench" && FLASHSTATION_TEST_TIME_DIVISOR=$divisor exec wine flashstation.exe --early-result) \
        >"$work/station-early.out" 2>&1 &
    station_pid=$!
    check "early: the window comes up" wait_until 30 peek
    run_board early "$success_box" "Program Success..." "Please remove Main Board"
    check "early: the box before the 100th tick ($last_programming_seconds s of $cycle_seconds)" \
        [ "$last_programming_seconds" -lt $((cycle_seconds - 5)) ]
    (cd "$work" && wine window_peek.exe "$title" --click $id_EXIT) >/dev/null 2>&1
    wait_until 20 station_ended
    (cd "$bench" && timeout 30 wine flashstation.exe --help) >"$work/help.out" 2>&1
    check "--help names --early-result and --job-limit" \
        eval 'grep -q -- "--early-result" "$work/help.out" && grep -q -- "--job-limit SECONDS" "$work/help.out"'
fi

echo "$((checks - failures)) of $checks checks passed in $(($(date +%s) - started)) s"
[ $failures -eq 0 ]
