#!/usr/bin/env bash
# Boards per hour of the bench: real stations (the Qt window, offscreen, at
# the real pace) against fakeboard over nullmodem, an automatic operator
# closing each result box at once and putting the next board in, N boards
# in a row per position.
#
#   bench/boards_per_hour.sh [--boards N] [--quick] [--build DIR] [OUTPUT]
#
# Cases: a 32 KiB and a 1.3 MiB image at 115200 baud and a 1.3 MiB image at
# 921600, each with the default cycle and with --early-result, one
# position; then 4 and 8 positions at once (each its own folder, port,
# cable and board) for the 32 KiB image at 115200 and the 1.3 MiB image at
# 921600 with the early result. run.bat sends by Y-Modem and captures the
# log up to the board's prompt. Per case and station: seconds per board
# (the first board put in to its last box closed, over N), boards per hour, the
# station's seconds from trigger to result and the job's own seconds (both
# from stationlog.csv), and the CPU share of each station. The targets
# are checked at the end. --boards (default 3) sets N; --quick runs one
# board per case and leaves the positions out. Writes its section of
# OUTPUT (default bench/results.md). About 40 minutes with 3 boards.
#
# Needs: a build with station_instance, nullmodem, fakeboard and blockxfer.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${BUILD_DIR:-$repo/build}
boards=3
quick=0
output=$here/results.md
while (($#)); do
    case $1 in
    --boards) boards=$2; shift ;;
    --quick) quick=1; boards=1 ;;
    --build) build=$2; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "boards_per_hour.sh: unknown option $1" >&2; exit 2 ;;
    *) output=$1 ;;
    esac
    shift
done

instance=$build/bin/station_instance
nullmodem=$build/bin/nullmodem
fakeboard=$build/bin/fakeboard
blockxfer_dir=$build/bin
for program in "$instance" "$nullmodem" "$fakeboard" "$blockxfer_dir/blockxfer"; do
    [[ -x $program ]] || { echo "boards_per_hour.sh: $program not built (cmake --build $build)" >&2; exit 1; }
done
. "$repo/tools/cable.sh"
. "$here/sections.sh"
export PATH="$blockxfer_dir:$PATH" QT_QPA_PLATFORM=offscreen

work=$(mktemp -d /tmp/boards_per_hour.XXXXXX)
# Every cable, station and board, by its id, at the end of each case and
# when the benchmark ends or is interrupted.
keep_pids_in "$work/pids"
trap 'end_kept_pids; rm -rf "$work"' EXIT

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"$2\", $1 }"; }

table=$work/table.md
targets=$work/targets
: >"$targets"
miss() { echo "- MISSED: $*" >>"$targets"; }
met() { echo "- met: $*" >>"$targets"; }

# One position's boards, one after another: each board is put in once the
# station is waiting, and taken out once the station has reopened its port.
operate() {  # operate DIGIT BAUD
    local d=$1 baud=$2 i board
    for i in $(seq 1 "$boards"); do
        "$fakeboard" --port "$work/lines/board$d" --baud "$baud" --banner-line-delay-ms 50 --max-seconds 900 \
            >"$work/board$d.$i.out" 2>&1 &
        board=$!
        keep_pid $board
        await_text "$work/station$d.out" "^cycle $i: port" 900 || { kill $board; return 1; }
        kill $board 2>/dev/null
        wait $board 2>/dev/null || true
        drop_pid $board
    done
    now >"$work/operator$d.end"
}

# run_case NAME SIZE BAUD MODE POSITIONS: prints one row per position into
# $work/rows and the per-position figures into $work/case.
run_case() {
    local name=$1 size=$2 baud=$3 mode=$4 positions=$5 d option=""
    [[ $mode == early ]] && option=--early-result
    rm -rf "$work/lines" "$work"/station* "$work"/board* "$work"/operator*
    mkdir "$work/lines"
    head -c "$size" /dev/urandom >"$work/image.bin"
    for d in $(seq 1 "$positions"); do
        cable_start "$nullmodem" "$work/lines/com$d" "$work/lines/board$d" "$work/lines/com$d.out" \
            --baud "$baud" --max-seconds 3000 || exit 1
        export "COM$d=$work/lines/com$d"
        mkdir "$work/station$d"
        cp "$work/image.bin" "$work/station$d/fw.bin"
        printf '%s\n' "trap 'echo \$? > job-done' EXIT" \
            "blockxfer -p$d -b$baud -sy fw.bin -lfLOG -lx\"=> \"" >"$work/station$d/run.bat"
        (cd "$work/station$d" && exec "$instance" --time-divisor 1 --job-done job-done --cycles "$boards" $option) \
            >"$work/station$d.out" 2>&1 &
        keep_pid $!
        echo $! >"$work/station$d.pid"
    done
    for d in $(seq 1 "$positions"); do await_text "$work/station$d.out" "^port is open" 30 || exit 1; done
    local started operators=()
    started=$(now)
    for d in $(seq 1 "$positions"); do
        operate "$d" "$baud" &
        operators+=($!)
    done
    for d in "${operators[@]}"; do wait "$d" || true; done
    local ended
    ended=$(now)
    for d in $(seq 1 "$positions"); do
        wait "$(cat "$work/station$d.pid")" 2>/dev/null || true
    done
    end_kept_pids
    : >"$work/case"
    for d in $(seq 1 "$positions"); do
        local csv=$work/station$d/stationlog.csv passes cpu perBoard trigger job gap
        passes=$(tr -d '\r' <"$csv" | awk -F, 'NR > 1 && $3 == "PASS"' | wc -l)
        # Trigger to result and the job's own time, their means, and the
        # largest gap between the two.
        read -r trigger job gap < <(tr -d '\r' <"$csv" | awk -F, 'NR > 1 {
            t += $4; j += $NF; g = $4 - $NF; if (g > m) m = g; n++ }
            END { if (n) printf "%.1f %.1f %.2f\n", t / n, j / n, m; else print "- - -" }')
        cpu=$(sed -n 's/^cpu \(.*\) s$/\1/p' "$work/station$d.out")
        perBoard=$(calc "($(cat "$work/operator$d.end") - $started) / $boards" "%.1f")
        echo "$name|$mode|$positions|$d|$perBoard|$passes|$trigger|$job|$gap|${cpu:-}" >>"$work/case"
        printf '| %s | %s | %d | %d | %s | %s | %d of %d | %s | %s | %s |\n' "$name" "$mode" "$positions" "$d" \
            "$perBoard" "$(calc "3600 / $perBoard" "%.1f")" "$passes" "$boards" "$trigger" "$job" \
            "$(calc "${cpu:-0} / ($ended - $started) * 100" "%.2f")" >>"$work/rows"
    done
    cat "$work/case" >>"$work/all"
    tail -n "$positions" "$work/rows"
}

started_all=$(date +%s)
: >"$work/rows"
: >"$work/all"
kib32=$((32 * 1024))
mib13=$((13 * 1024 * 1024 / 10))
for c in "32 KiB at 115200|$kib32|115200" "1.3 MiB at 115200|$mib13|115200" "1.3 MiB at 921600|$mib13|921600"; do
    IFS='|' read -r name size baud <<<"$c"
    for mode in default early; do run_case "$name" "$size" "$baud" "$mode" 1; done
done
if ((!quick)); then
    for positions in 4 8; do
        run_case "32 KiB at 115200" "$kib32" 115200 early "$positions"
        run_case "1.3 MiB at 921600" "$mib13" 921600 early "$positions"
    done
fi

# ---- targets ----
field() { awk -F'|' -v n="$1" -v m="$2" -v p="$3" -v f="$4" '$1 == n && $2 == m && $3 == p { print $f }' "$work/all"; }
while IFS='|' read -r name mode positions d perBoard passes trigger job gap cpu; do
    [[ $mode == early ]] || continue
    if awk -v g="$gap" 'BEGIN { exit !(g <= 6.5) }'; then :; else
        miss "early result, $name, $positions position(s), station $d: trigger to result $gap s more than the job (at most 6.5)"
    fi
done <"$work/all"
grep -q MISSED "$targets" ||
    met "early result: trigger to result at most the job's time + 5.0 s + 1.5 s (largest gap $(awk -F'|' '$2 == "early" { if ($9 > m) m = $9 } END { print m }' "$work/all") s)"
for name in "32 KiB at 115200" "1.3 MiB at 921600"; do
    t=$(field "$name" default 1 7)
    if awk -v t="$t" 'BEGIN { exit !(t >= 115.0 && t <= 116.6) }'; then
        met "default cycle, $name: trigger to result $t s (5 s + 100 ticks of 1105 ms = 115.5 s)"
    else
        miss "default cycle, $name: trigger to result $t s, not 115.5 s"
    fi
done
for mode in default early; do
    p=$(field "1.3 MiB at 115200" "$mode" 1 6)
    if [[ $p == "$boards" ]]; then
        met "1.3 MiB at 115200, $mode: PASS for $p of $boards boards (job $(field "1.3 MiB at 115200" "$mode" 1 8) s)"
    else
        miss "1.3 MiB at 115200, $mode: PASS for ${p:-0} of $boards boards"
    fi
done
if ((!quick)); then
    for name in "32 KiB at 115200" "1.3 MiB at 921600"; do
        alone=$(field "$name" early 1 5)
        worst=$(awk -F'|' -v n="$name" '$1 == n && $2 == "early" && $3 == 8 { if ($5 > m) m = $5 } END { print m }' "$work/all")
        ratio=$(calc "$worst / $alone" "%.3f")
        if awk -v r="$ratio" 'BEGIN { exit !(r <= 1.05) }'; then
            met "8 positions, $name, early: slowest station $worst s per board, alone $alone s ($ratio)"
        else
            miss "8 positions, $name, early: slowest station $worst s per board, alone $alone s ($ratio > 1.05)"
        fi
    done
fi

{
    echo "## Boards per hour (bench/boards_per_hour.sh)"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores, shared; boards in a row per position: $boards;"
    echo "stations at the real pace (offscreen Qt), fakeboard over nullmodem, run.bat \`blockxfer -pN -bBAUD -sy fw.bin -lfLOG -lx\"=> \"\`."
    echo "Per board: first board put in to the station's last box closed, over its boards. Trigger to result and job: means from stationlog.csv."
    echo "CPU: the station's own (user + system) over the same time."
    echo
    echo "| Image and line | Cycle | Positions | Station | s per board | Boards per hour | PASS | Trigger to result s | Job s | Station CPU % |"
    echo "|---|---|---|---|---|---|---|---|---|---|"
    cat "$work/rows"
    echo
    echo "Targets:"
    echo
    cat "$targets"
    echo
    echo "Benchmark time: $(($(date +%s) - started_all)) s."
} >"$table"
put_section "$output" boards_per_hour "$table"
cat "$table"
