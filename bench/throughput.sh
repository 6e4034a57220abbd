#!/usr/bin/env bash
# Throughput of blockxfer against the physical limit of the line and against
# lrzsz, over the project's simulated cable (nullmodem).
#
#   bench/throughput.sh [--quick] [--fast-only] [--noisy-only] [--uboot-only] [--jobs N] [--build DIR] [OUTPUT]
#
# Every send mode and every receive mode of blockxfer, each against an lrzsz
# peer (Y-Modem G against blockxfer itself, as lrzsz cannot receive G), and
# the same transfers between lrzsz programs, at 115200 baud with 0 and 16 ms
# of one-way latency: a 256 KiB random file, median of 3 runs. Then fast
# lines: Y-Modem, X-Modem-1K and Y-Modem G at 921600 and 3000000 baud with
# 0, 1 and 16 ms, ours and lrzsz's side by side (256 KiB and 512 KiB, about
# three seconds of line each), after a check of nullmodem's own rate at
# those speeds. Then the unthrottled case, a 4 MiB Y-Modem transfer. Prints
# a Markdown table and writes it to OUTPUT (default bench/results.md).
#
# At 115200 the receiver starts 0.3 s before the sender, and the wall time
# runs from the sender's start until both have exited. On the fast lines
# the sender starts first and the wall time runs from the receiver's start:
# a receiver that starts first has its opening character discarded with
# the stale input by a sender that configures its port after it, and the
# retry a few seconds later would swamp a transfer of three seconds. The
# data phase (first byte of data block 1 to the EOT) is read from the
# nullmodem trace. Independent runs at 115200 and at 16 ms go in parallel
# (--jobs, default 8; 3 on the fast lines): they spend their time waiting
# for the line, not computing. The fast lines at 0 and 1 ms run one at a
# time, as each wake-up counts there and nullmodem itself needs half a
# core at 3000000 baud. --quick makes one run per case instead of three;
# --fast-only runs the fast lines alone (about 10 minutes). Last, a noisy
# line: Y-Modem of 64 KiB at 115200 baud with one bit in 10 000 flipped in
# each direction, ours and lrzsz's on the same seeds, as the effective
# rate (file bytes over wall time) that recovery leaves; --noisy-only runs
# that alone (under a minute). Last, a stock U-Boot's fast load: a 1 MiB
# image into fakeboard --uboot typed as "loady ${loadaddr} RATE" at 115200
# and at 921600 reached through U-Boot's switch (blockxfer
# --follow-baud-switch, over nullmodem --baud follow), wall time from the
# typed command to the prompt back at 115200; --uboot-only runs that alone
# (about two minutes).
#
# Needs: a build with nullmodem and blockxfer (default build dir: build/),
# lrzsz (sx, rx, sb, rb), a C compiler for bench/line_floor.c, awk, cmp.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${BUILD_DIR:-$repo/build}
repeats=3
jobs=8
fastOnly=0
noisyOnly=0
ubootOnly=0
output=$here/results.md
while (($#)); do
    case $1 in
    --quick) repeats=1 ;;
    --fast-only) fastOnly=1 ;;
    --noisy-only) noisyOnly=1 ;;
    --uboot-only) ubootOnly=1 ;;
    --jobs) jobs=$2; shift ;;
    --build) build=$2; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "throughput.sh: unknown option $1" >&2; exit 2 ;;
    *) output=$1 ;;
    esac
    shift
done

nullmodem=$build/bin/nullmodem
blockxfer=$build/bin/blockxfer
fakeboard=$build/bin/fakeboard
# lrzsz ends with tcdrain() then tcflush(); on a pty that loses its final
# ACK about half the time unless tcdrain() waits a little (the shim).
shim=$build/lib/libtcdrain_shim.so
for program in "$nullmodem" "$blockxfer" "$fakeboard" "$shim"; do
    [[ -e $program ]] || { echo "throughput.sh: $program not built (cmake --build $build)" >&2; exit 1; }
done
for program in sx rx sb rb cc awk cmp stty; do
    command -v $program >/dev/null || { echo "throughput.sh: $program not found" >&2; exit 1; }
done

baud=115200
lineRate=$((baud / 10))
smallSize=$((${BENCH_SMALL_KIB:-256} * 1024))  # smaller only to try the script out
bigSize=$((${BENCH_BIG_KIB:-4096} * 1024))
work=$(mktemp -d /tmp/throughput.XXXXXX)
. "$repo/tools/cable.sh"
# Every cable and board the runs start, by its id, when the benchmark ends
# or is interrupted.
keep_pids_in "$work/pids"
trap 'end_kept_pids; rm -rf "$work"' EXIT
head -c $smallSize /dev/urandom >"$work/small.bin"
head -c $bigSize /dev/urandom >"$work/big.bin"
fastRates=(921600 3000000)
fastLatencies=(0 1 16)
# smaller only to try the script out
fastKib() { [[ -n ${BENCH_FAST_KIB:-} ]] && echo "$BENCH_FAST_KIB" || { [[ $1 == 921600 ]] && echo 256 || echo 512; }; }
for rate in "${fastRates[@]}"; do
    head -c $(($(fastKib "$rate") * 1024)) /dev/urandom >"$work/fast$rate.bin"
done
cc -O2 -o "$work/line_floor" "$here/line_floor.c"
lrzsz="LD_PRELOAD=$shim"

# ---- a noisy line ----------------------------------------------------------------
noisySize=$((64 * 1024))
head -c $noisySize /dev/urandom >"$work/noisy.bin"
# noisy_run PAIR SEED: one Y-Modem transfer over a cable that flips one bit in
# 10 000 both ways; prints the wall seconds, or "-" when it failed.
noisy_run() {
    local pair=$1 seed=$2 dir="$work/noisy-$1-$2"
    mkdir -p "$dir/in"
    cable_start "$nullmodem" "$dir/a" "$dir/b" "$dir/line.out" --baud $baud --latency-ms 2 \
        --flip-ab 1e-4 --flip-ba 1e-4 --seed "$seed" --max-seconds 300 || { echo -; return; }
    local line=$CABLE_PID started sender status=0
    if [[ $pair == ours ]]; then
        "$blockxfer" -p"$dir/a" -sy "$work/noisy.bin" noisy.bin >/dev/null 2>&1 &
        sender=$!
        sleep 0.2
        started=$(date +%s%N)
        (cd "$dir/in" && "$blockxfer" -p"$dir/b" -ry >/dev/null 2>&1) || status=1
    else
        (cd "$work" && eval "$lrzsz sb -k -q noisy.bin <\"$dir/a\" >\"$dir/a\"" 2>/dev/null) &
        sender=$!
        sleep 0.2
        started=$(date +%s%N)
        (cd "$dir/in" && eval "$lrzsz rb -q <\"$dir/b\" >\"$dir/b\"" 2>/dev/null) || status=1
    fi
    wait "$sender" || status=1
    local ended
    ended=$(date +%s%N)
    cable_stop "$line"
    if ((status == 0)) && cmp -s "$work/noisy.bin" "$dir/in/noisy.bin"; then
        awk -v ns=$((ended - started)) 'BEGIN { printf "%.2f\n", ns / 1e9 }'
    else
        echo -
    fi
}

noisy_table() {
    local pair seed
    for pair in ours lrzsz; do
        for seed in 1 2 3; do
            noisy_run "$pair" "$seed" >"$work/noisy-$pair-$seed.wall" &
        done
    done
    wait
    echo
    echo "## A noisy line: 1e-4 bit flips each way, Y-Modem, 64 KiB at 115200 baud"
    echo
    echo "Seeds 1 to 3, the same for both pairs; effective rate = file bytes / wall time (median of 3; a failed run counts as the slowest)."
    echo
    echo "| Pair (receiver ← sender) | Wall s (runs) | Effective B/s | Share of the line rate |"
    echo "|---|---|---|---|"
    for pair in ours lrzsz; do
        local walls median label
        walls=$(cat "$work"/noisy-$pair-*.wall | paste -sd' ')
        median=$(tr ' ' '\n' <<<"$walls" | sed 's/^-$/9999/' | sort -n | sed -n 2p)
        [[ $pair == ours ]] && label="blockxfer -ry ← blockxfer -sy" || label="rb ← sb -k"
        if [[ $median == 9999 ]]; then
            echo "| $label | $walls | - | - |"
        else
            echo "| $label | $walls | $(awk -v s=$noisySize -v w="$median" 'BEGIN { printf "%.0f", s / w }') | $(awk -v s=$noisySize -v w="$median" -v r=$lineRate 'BEGIN { printf "%.0f %%", 100 * s / w / r }') |"
        fi
    done
}

# ---- a stock U-Boot's fast load ----------------------------------------------------
ubootSize=$((1024 * 1024))
# uboot_run RATE REP: one load of 1 MiB into fakeboard --uboot with
# "loady ${loadaddr} RATE"; prints the wall seconds from the typed command
# to the prompt back at 115200, or "-" when it failed.
uboot_run() {
    local rate=$1 dir="$work/uboot-$1-$2"
    mkdir -p "$dir"
    cable_start "$nullmodem" "$dir/a" "$dir/b" "$dir/line.out" --baud follow --max-seconds 400 || { echo -; return; }
    local line=$CABLE_PID
    (sleep 0.3; exec "$fakeboard" --port "$dir/b" --uboot --max-seconds 300) >"$dir/board.out" 2>&1 &
    local board=$! status=0 started ended
    keep_pid "$board"
    (cd "$dir" && "$blockxfer" -p"$dir/a" -lfboot.log -lx"Hit any key" -lt10 >/dev/null &&
        "$blockxfer" -p"$dir/a" --send-line "" -lfprompt.log -lx"=> " -lt5 >/dev/null) || status=1
    started=$(date +%s%N)
    (cd "$dir" && "$blockxfer" -p"$dir/a" --send-line "loady \${loadaddr} $rate" --follow-baud-switch \
        -sy "$work/uboot.bin" uboot.bin -lfload.log -lx"=> " -lt10 >load.out 2>&1) || status=1
    ended=$(date +%s%N)
    kill "$board" 2>/dev/null
    wait "$board" 2>/dev/null || true
    drop_pid "$board"
    cable_stop "$line"
    local want
    want=$(gzip -c <"$work/uboot.bin" | tail -c 8 | head -c 4 | od -An -tx1 | awk '{ print $4 $3 $2 $1 }')
    if ((status == 0)) && grep -q "upload ok: $ubootSize bytes, crc32 0x$want" "$dir/board.out" &&
        grep -q "=> " "$dir/load.log"; then
        awk -v ns=$((ended - started)) 'BEGIN { printf "%.2f\n", ns / 1e9 }'
    else
        echo -
    fi
}

uboot_table() {
    head -c $ubootSize /dev/urandom >"$work/uboot.bin"
    local rep rate
    # The slow loads mostly wait for the line and go together; the fast ones
    # one at a time.
    for rep in 1 2 3; do
        uboot_run 115200 "$rep" >"$work/uboot-115200-$rep.wall" &
    done
    for rep in 1 2 3; do
        uboot_run 921600 "$rep" >"$work/uboot-921600-$rep.wall"
    done
    wait
    echo
    echo "## A stock U-Boot's load: 1 MiB into fakeboard --uboot, loady at 115200 and through the switch to 921600"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores; nullmodem --baud follow (each direction at the rate its end has set, garbled while they differ)."
    echo "Wall: from blockxfer typing \"loady \${loadaddr} RATE\" (--send-line, --follow-baud-switch) to the prompt back at 115200 (-lx\"=> \"), runs 1 to 3, median; the board's CRC-32 checked."
    echo "The three 115200 loads run together, the 921600 ones one after another beside them."
    echo
    echo "| Load | Wall s (runs) | Median s | Effective B/s | Share of 115200's line rate | Speed-up |"
    echo "|---|---|---|---|---|---|"
    local slow=""
    for rate in 115200 921600; do
        local walls median label
        walls=$(cat "$work"/uboot-$rate-*.wall | paste -sd' ')
        median=$(tr ' ' '\n' <<<"$walls" | sed 's/^-$/9999/' | sort -n | sed -n 2p)
        [[ $rate == 115200 ]] && label="loady \${loadaddr} 115200 (no switch)" || label="loady \${loadaddr} 921600 (switch there and back)"
        if [[ $median == 9999 ]]; then
            echo "| $label | $walls | FAILED | - | - | - |"
            continue
        fi
        [[ $rate == 115200 ]] && slow=$median
        local speedup="1.00"
        [[ -n $slow && $rate != 115200 ]] && speedup=$(awk -v a="$slow" -v b="$median" 'BEGIN { printf "%.2f", a / b }')
        echo "| $label | $walls | $median | $(awk -v s=$ubootSize -v w="$median" 'BEGIN { printf "%.0f", s / w }') | $(awk -v s=$ubootSize -v w="$median" -v r=$lineRate 'BEGIN { printf "%.0f %%", 100 * s / w / r }') | × $speedup |"
    done
}

if ((noisyOnly)); then
    noisy_table
    exit 0
fi
if ((ubootOnly)); then
    uboot_table
    exit 0
fi

# ---- the cases ---------------------------------------------------------------
# id | label | side blockxfer plays | receiver command | sender command |
# trailer bytes | block size | acknowledged | id of the lrzsz reference | shown as
# The receiver is at end A, the sender at end B. "BX" is blockxfer.
cases=(
    "sx|X-Modem checksum|send|$lrzsz rx -q out.bin|BX -p8 -sx in.bin|1|128|1|Lx|rx ← blockxfer -sx"
    "sc|X-Modem CRC|send|$lrzsz rx -q -c out.bin|BX -p8 -sx in.bin|2|128|1|Lc|rx -c ← blockxfer -sx"
    "sk|X-Modem-1K|send|$lrzsz rx -q -c out.bin|BX -p8 -sk in.bin|2|1024|1|Lk|rx -c ← blockxfer -sk"
    "sy|Y-Modem|send|$lrzsz rb -q|BX -p8 -sy in.bin|2|1024|1|Ly|rb ← blockxfer -sy"
    "sg|Y-Modem G|send|BX -p7 -rg out.bin|BX -p8 -sy in.bin|2|1024|0|rg|blockxfer -rg ← blockxfer -sy (rb has no G)"
    "rx|X-Modem checksum|receive|BX -p7 -rx out.bin|$lrzsz sx -q in.bin|1|128|1|Lx|blockxfer -rx ← sx"
    "rc|X-Modem CRC|receive|BX -p7 -rc out.bin|$lrzsz sx -q in.bin|2|128|1|Lc|blockxfer -rc ← sx"
    "ry|Y-Modem|receive|BX -p7 -ry out.bin|$lrzsz sb -q -k in.bin|2|1024|1|Ly|blockxfer -ry ← sb -k"
    "rg|Y-Modem G|receive|BX -p7 -rg out.bin|$lrzsz sb -q -k in.bin|2|1024|0|-|blockxfer -rg ← sb -k"
    "Lx|X-Modem checksum|lrzsz|$lrzsz rx -q out.bin|$lrzsz sx -q in.bin|1|128|1|-|rx ← sx"
    "Lc|X-Modem CRC|lrzsz|$lrzsz rx -q -c out.bin|$lrzsz sx -q in.bin|2|128|1|-|rx -c ← sx"
    "Lk|X-Modem-1K|lrzsz|$lrzsz rx -q -c out.bin|$lrzsz sx -q -k in.bin|2|1024|1|-|rx -c ← sx -k"
    "Ly|Y-Modem|lrzsz|$lrzsz rb -q|$lrzsz sb -q -k in.bin|2|1024|1|-|rb ← sb -k"
)
# The G reference is sb -k sending G to blockxfer -rg (the "rg" row): lrzsz
# can send G but not receive it, so there is no lrzsz-only G pair.
# Unthrottled, 4 MiB. lrzsz needs about 1 ms of latency on a pty (its
# receivers discard input right after each ACK, which would swallow the
# sender's next frame), so every pair runs with 1 ms, blockxfer also with 0.
bigCases=(
    "ub|Y-Modem|both|BX -p7 -ry out.bin|BX -p8 -sy in.bin|2|1024|1|-|blockxfer -ry ← blockxfer -sy"
    "us|Y-Modem|send|$lrzsz rb -q|BX -p8 -sy in.bin|2|1024|1|-|rb ← blockxfer -sy"
    "ur|Y-Modem|receive|BX -p7 -ry out.bin|$lrzsz sb -q -k in.bin|2|1024|1|-|blockxfer -ry ← sb -k"
    "uL|Y-Modem|lrzsz|$lrzsz rb -q|$lrzsz sb -q -k in.bin|2|1024|1|-|rb ← sb -k"
)

# Fast lines: 1K-block modes only (128-byte blocks are not what a fast line
# is for). The reference of a send is lrzsz's sender into the same
# receiver; of a receive, lrzsz's receiver from the same sender.
fastCases=(
    "fys|Y-Modem|send|$lrzsz rb -q|BX -p8 -sy in.bin|2|1024|1|fyL|rb ← blockxfer -sy"
    "fyr|Y-Modem|receive|BX -p7 -ry out.bin|$lrzsz sb -q -k in.bin|2|1024|1|fyL|blockxfer -ry ← sb -k"
    "fyL|Y-Modem|lrzsz|$lrzsz rb -q|$lrzsz sb -q -k in.bin|2|1024|1|-|rb ← sb -k"
    "fks|X-Modem-1K|send|$lrzsz rx -q -c out.bin|BX -p8 -sk in.bin|2|1024|1|fkL|rx -c ← blockxfer -sk"
    "fkr|X-Modem-1K|receive|BX -p7 -rc out.bin|$lrzsz sx -q -k in.bin|2|1024|1|fkL|blockxfer -rc ← sx -k"
    "fkL|X-Modem-1K|lrzsz|$lrzsz rx -q -c out.bin|$lrzsz sx -q -k in.bin|2|1024|1|-|rx -c ← sx -k"
    "fgs|Y-Modem G|send|BX -p7 -rg out.bin|BX -p8 -sy in.bin|2|1024|0|fgr|blockxfer -rg ← blockxfer -sy"
    "fgr|Y-Modem G|receive|BX -p7 -rg out.bin|$lrzsz sb -q -k in.bin|2|1024|0|-|blockxfer -rg ← sb -k (rb has no G)"
)

field() { cut -d'|' -f"$2" <<<"$1"; }

# One transfer. Writes key=value lines to $dir/result.
# User + system seconds of the children in the output of `times`.
children_cpu() {
    awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); sum += 60 * t[1] + t[2] } }
         END { print sum + 0 }' "$1" 2>/dev/null || echo 0
}

# ORDER "rs": the receiver starts 0.3 s first, wall from the sender's start;
# "sr": the other way round.
run_one() {
    set +e
    local spec=$1 baudArg=$2 latency=$3 file=$4 dir=$5 order=${6:-rs}
    local receiver sender check rate=""
    receiver=$(field "$spec" 4)
    sender=$(field "$spec" 5)
    check=$(field "$spec" 6)
    mkdir -p "$dir/r" "$dir/s"
    cp "$file" "$dir/s/in.bin"
    ((baudArg > 0)) && rate=" -b$baudArg"
    receiver=${receiver//BX/COM7=$dir/a $blockxfer$rate}
    sender=${sender//BX/COM8=$dir/b $blockxfer$rate}
    # lrzsz talks through its standard input and output.
    [[ $receiver == *" rx "* || $receiver == *" rb "* ]] && receiver+=" <$dir/a >$dir/a"
    [[ $sender == *" sx "* || $sender == *" sb "* ]] && sender+=" <$dir/b >$dir/b"

    cable_start "$nullmodem" "$dir/a" "$dir/b" "$dir/nm.out" --baud "$baudArg" --latency-ms "$latency" \
        --trace "$dir/trace.txt" --max-seconds 400
    local nm=$CABLE_PID
    local TIMEFORMAT='%R %U %S'
    local first=r second=s
    [[ $order == sr ]] && first=s second=r
    local -A command=([r]="$receiver" [s]="$sender")
    # `times` gives the program's own CPU, without the shell's start-up.
    local -A run
    local side
    for side in r s; do
        run[$side]="${command[$side]}"'
status=$?; times >../'$side'.cpu; exit $status'
    done
    (cd "$dir/$first" && { time timeout 300 bash -c "${run[$first]}" >../$first.out 2>../$first.err; } 2>../$first.time; echo $? >../$first.rc) &
    local firstPid=$!
    sleep 0.3
    local t0 t1
    t0=$(date +%s%N)
    (cd "$dir/$second" && { time timeout 300 bash -c "${run[$second]}" >../$second.out 2>../$second.err; } 2>../$second.time; echo $? >../$second.rc)
    wait $firstPid || true
    t1=$(date +%s%N)
    cable_stop "$nm"

    local ok=1 got
    got=$(ls "$dir/r")
    [[ $(cat "$dir/s.rc") == 0 && $(cat "$dir/r.rc") == 0 && -n $got ]] || ok=0
    ((ok)) && { cmp -s "$dir/s/in.bin" "$dir/r/$got" || ok=0; }
    local phase
    phase=$(awk -v dir=ba -v check="$check" -v baud="$baudArg" -f "$here/trace_phase.awk" "$dir/trace.txt")
    local rreal sreal
    rreal=$(tail -1 "$dir/r.time" | cut -d' ' -f1)
    sreal=$(tail -1 "$dir/s.time" | cut -d' ' -f1)
    {
        echo "ok=$ok"
        echo "wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')"
        echo "phase=$phase"
        echo "rcpu=$(children_cpu "$dir/r.cpu")"
        echo "scpu=$(children_cpu "$dir/s.cpu")"
        echo "rreal=$rreal"
        echo "sreal=$sreal"
    } >"$dir/result"
    rm -f "$dir/s/in.bin" "$dir/r/$got"
}

# nullmodem's own pace at RATE: 1.5 s of data through an idle line, from the
# first write to the last byte read. Writes "ok=", "pct=" (of the line
# rate) and "nmcpu=" (nullmodem's share of a core) to DIR/result.
check_throttle() {
    set +e
    local rate=$1 dir=$2 count i t0 t1 ok=0
    count=$((rate * 3 / 20))
    mkdir -p "$dir"
    head -c $count /dev/urandom >"$dir/in"
    cable_start "$nullmodem" "$dir/a" "$dir/b" "$dir/nm.out" --baud "$rate" --max-seconds 60
    local nm=$CABLE_PID
    (timeout 20 head -c $count "$dir/b" >"$dir/out") &
    local reader=$!
    sleep 0.2
    t0=$(date +%s%N)
    cat "$dir/in" >"$dir/a"
    wait $reader
    t1=$(date +%s%N)
    cable_stop "$nm"
    cmp -s "$dir/in" "$dir/out" && ok=1
    {
        echo "ok=$ok"
        echo "pct=$(awk -v n=$count -v a="$t0" -v b="$t1" -v r="$rate" 'BEGIN { printf "%.2f", 100 * n / ((b - a) / 1e9) / (r / 10) }')"
        echo "nmcpu=$(sed -n 's/.*(\(.*\) % of one core).*/\1/p' "$dir/nm.out.err")"
    } >"$dir/result"
}

# The line's floor at RATE and LATENCY: bare frame/reply peers (line_floor),
# FRAMES 1029-byte frames each answered by one byte. Writes "ok=" and
# "floor=" (seconds) to DIR/result.
run_floor() {
    set +e
    local rate=$1 latency=$2 frames=$3 dir=$4 i seconds ok=0
    mkdir -p "$dir"
    cable_start "$nullmodem" "$dir/a" "$dir/b" "$dir/nm.out" --baud "$rate" --latency-ms "$latency" --max-seconds 400
    local nm=$CABLE_PID
    "$work/line_floor" answer "$dir/a" "$frames" 1029 2>"$dir/answer.err" &
    local answer=$!
    sleep 0.1
    seconds=$("$work/line_floor" send "$dir/b" "$frames" 1029 2>"$dir/send.err")
    wait $answer && [[ -n $seconds ]] && ok=1
    cable_stop "$nm"
    printf 'ok=%s\nfloor=%s\n' "$ok" "$seconds" >"$dir/result"
}

# ---- run them ------------------------------------------------------------------
pool() {  # waits until fewer than $jobs runs are going
    while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
}
started=$(date +%s)
if ((!fastOnly)); then
    echo "throughput.sh: $((${#cases[@]} * 2 * repeats)) runs at $baud baud ($jobs at a time)" >&2
    # 16 ms first: its 128-byte runs are the longest, and the pool fills best so.
    for latency in 16 0; do
        for ((rep = 1; rep <= repeats; rep++)); do
            for spec in "${cases[@]}"; do
                pool
                (run_one "$spec" $baud $latency "$work/small.bin" "$work/$(field "$spec" 1).$latency.$rep") &
            done
        done
    done
    wait
    echo "throughput.sh: 115200 done after $(($(date +%s) - started)) s" >&2
fi

fastJobs=$((jobs < 3 ? jobs : 3))
echo "throughput.sh: fast lines, $((${#fastCases[@]} * ${#fastRates[@]} * ${#fastLatencies[@]} * repeats)) runs" \
    "and $((${#fastRates[@]} * ${#fastLatencies[@]} * repeats)) floor runs" >&2
for ((rep = 1; rep <= repeats; rep++)); do
    for rate in "${fastRates[@]}"; do
        check_throttle "$rate" "$work/throttle@$rate.0.$rep"
    done
done
# Acknowledged modes at 16 ms: mostly waiting, so a few at a time. The rest
# one at a time: Y-Modem G keeps nullmodem busy, and at 0 and 1 ms every
# wake-up counts.
savedJobs=$jobs
jobs=$fastJobs
for ((rep = 1; rep <= repeats; rep++)); do
    for rate in "${fastRates[@]}"; do
        for spec in "${fastCases[@]}"; do
            [[ $(field "$spec" 8) == 1 ]] || continue
            pool
            (run_one "$spec" "$rate" 16 "$work/fast$rate.bin" "$work/$(field "$spec" 1)@$rate.16.$rep" sr) &
        done
    done
done
wait
jobs=$savedJobs
for ((rep = 1; rep <= repeats; rep++)); do
    for rate in "${fastRates[@]}"; do
        for latency in "${fastLatencies[@]}"; do
            run_floor "$rate" "$latency" "$(fastKib "$rate")" "$work/floor@$rate.$latency.$rep"
            for spec in "${fastCases[@]}"; do
                [[ $latency == 16 && $(field "$spec" 8) == 1 ]] && continue
                run_one "$spec" "$rate" "$latency" "$work/fast$rate.bin" "$work/$(field "$spec" 1)@$rate.$latency.$rep" sr
            done
        done
    done
done
echo "throughput.sh: fast lines done after $(($(date +%s) - started)) s" >&2

if ((!fastOnly)); then
    echo "throughput.sh: unthrottled runs one at a time" >&2
    for ((rep = 1; rep <= repeats; rep++)); do
        (run_one "${bigCases[0]}" 0 0 "$work/big.bin" "$work/ub.0.$rep")
        for spec in "${bigCases[@]}"; do
            (run_one "$spec" 0 1 "$work/big.bin" "$work/$(field "$spec" 1).1.$rep")
        done
    done
fi

# ---- figures -------------------------------------------------------------------
# Median over the repeats of one metric of one case; "-" when a run failed.
median_of() {  # id latency metric
    local values=() rep dir v
    for ((rep = 1; rep <= repeats; rep++)); do
        dir=$work/$1.$2.$rep
        [[ -f $dir/result ]] && grep -q '^ok=1' "$dir/result" || { echo "-"; return; }
        v=$(metric "$dir" "$3" "$1")
        values+=("$v")
    done
    printf '%s\n' "${values[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
# metric DIR NAME ID: one figure of one run.
metric() {
    local dir=$1 name=$2 id=$3 wall phase rcpu scpu
    wall=$(sed -n 's/^wall=//p' "$dir/result")
    phase=$(sed -n 's/^phase=//p' "$dir/result")
    rcpu=$(sed -n 's/^rcpu=//p' "$dir/result")
    scpu=$(sed -n 's/^scpu=//p' "$dir/result")
    local kind
    kind=$(spec_of "$id" | cut -d'|' -f3)
    awk -v name="$name" -v wall="$wall" -v phase="$phase" -v rcpu="$rcpu" -v scpu="$scpu" \
        -v kind="$kind" -v size="$(size_of "$id")" 'BEGIN {
        split(phase, p, " ")
        cpu = kind == "receive" ? rcpu : kind == "send" ? scpu : rcpu + scpu
        if (name == "wall") print wall
        else if (name == "phase") print (p[2] - p[1]) / 1e6
        else if (name == "startwait") print p[4] / 1e6
        else if (name == "frames") print p[3]
        else if (name == "cpu") print cpu
        else if (name == "cpupct") print 100 * cpu / wall
    }'
}
spec_of() {
    local spec
    for spec in "${cases[@]}" "${bigCases[@]}"; do
        [[ $(field "$spec" 1) == "$1" ]] && { echo "$spec"; return; }
    done
}
size_of() { [[ $1 == u* ]] && echo $bigSize || echo $smallSize; }
calc() { awk "BEGIN { v = $1; if (v != v) print \"-\"; else printf \"$2\", v }" 2>/dev/null || echo "-"; }

table=$work/table.md
targets=$work/targets.md
: >"$targets"
miss() { echo "- MISSED: $*" >>"$targets"; }
echo "# blockxfer throughput" >"$table"
if ((!fastOnly)); then
{
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores; nullmodem at $baud baud (line rate $lineRate B/s);"
    echo "256 KiB random file; median of $repeats; receiver started 0.3 s before the sender; $jobs runs in parallel."
    echo "Wall: sender start to both exited. Data: first byte of data block 1 to the EOT, from the nullmodem trace."
    echo "Ideal: payload / (frame + acknowledgement + round trip of the acknowledgement in byte times)."
    echo "Start: receiver's first start character to the sender's first frame. lrzsz wall ÷ ours: above 1 means blockxfer is faster. CPU: the blockxfer side's own, user + system."
    echo
    echo "| Mode | blockxfer | Pair (receiver ← sender) | Lat ms | Wall s | B/s | % line | Start s | Data s | Data % line | Data % ideal | lrzsz wall ÷ ours | CPU s/MiB | CPU % |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} >>"$table"

for latency in 0 16; do
    for spec in "${cases[@]}"; do
        IFS='|' read -r id label kind receiver sender check block acked ref pair <<<"$spec"
        wall=$(median_of "$id" $latency wall)
        phase=$(median_of "$id" $latency phase)
        start=$(median_of "$id" $latency startwait)
        cpu=$(median_of "$id" $latency cpu)
        cpupct=$(median_of "$id" $latency cpupct)
        frame=$((3 + block + check))
        ideal=$(calc "$lineRate * $block / ($frame + $acked + $acked * 2 * $latency * $lineRate / 1000)" "%.1f")
        if [[ $wall == - ]]; then
            echo "| $label | $kind | $pair | $latency | FAILED | | | | | | | | | |" >>"$table"
            miss "$label $kind at $latency ms: a run failed"
            continue
        fi
        bps=$(calc "$smallSize / $wall" "%.0f")
        pline=$(calc "100 * $smallSize / $wall / $lineRate" "%.1f")
        dline=$(calc "100 * $smallSize / $phase / $lineRate" "%.1f")
        dideal=$(calc "100 * $smallSize / $phase / $ideal" "%.1f")
        ratio="-"
        refNote=""
        if [[ $ref != - ]]; then
            refWall=$(median_of "$ref" $latency wall)
            [[ $refWall != - ]] && ratio=$(calc "$refWall / $wall" "%.2f")
        elif [[ $kind != lrzsz ]]; then
            ratio="n/a: rb has no G"
        fi
        if [[ $kind == lrzsz ]]; then
            cpuCol="-"; pctCol="-"; kindCol="(lrzsz only)"
        else
            cpuCol=$(calc "$cpu / ($smallSize / 1048576)" "%.3f"); pctCol=$(calc "$cpupct" "%.2f"); kindCol=$kind
        fi
        echo "| $label | $kindCol | $pair | $latency | $wall | $bps | $pline | $(calc "$start" "%.2f") | $(calc "$phase" "%.2f") | $dline | $dideal | $ratio | $cpuCol | $pctCol |" >>"$table"

        [[ $kind == lrzsz ]] && continue
        need=$([[ $latency == 0 || $acked == 0 ]] && echo 99 || echo 95)
        awk -v d="$dideal" -v n="$need" 'BEGIN { exit !(d < n) }' &&
            miss "data phase $label $kind at $latency ms: $dideal % of ideal (target $need %)"
        [[ $ratio != - && $ratio != n/a* ]] && awk -v r="$ratio" 'BEGIN { exit !(r < 1) }' &&
            miss "wall $label $kind at $latency ms: ${wall} s vs lrzsz ${refWall} s (× $ratio)"
        awk -v c="$cpupct" 'BEGIN { exit !(c > 2) }' &&
            miss "CPU $label $kind at $latency ms: $cpupct % of one core"
    done
done
fi

# ---- fast lines ------------------------------------------------------------------
# One figure of one fast-line run: wall, phase (s), cpu (s) and cpupct (% of
# a core while it ran) of the blockxfer side, floor (s).
fast_metric() {  # DIR NAME KIND
    awk -F= -v name="$2" -v kind="$3" '{ v[$1] = $2 } END {
        split(v["phase"], p, " ")
        side = kind == "receive" ? "r" : "s"
        if (name == "wall") print v["wall"]
        else if (name == "phase") print (p[2] - p[1]) / 1e6
        else if (name == "cpu") print v[side "cpu"]
        else if (name == "cpupct") print (v[side "real"] > 0 ? 100 * v[side "cpu"] / v[side "real"] : "nan")
        else if (name == "floor") print v["floor"]
        else if (name == "pct" || name == "nmcpu") print v[name]
    }' "$1/result"
}
fast_median() {  # ID RATE LATENCY METRIC KIND
    local values=() rep dir
    for ((rep = 1; rep <= repeats; rep++)); do
        dir=$work/$1@$2.$3.$rep
        [[ -f $dir/result ]] && grep -q '^ok=1' "$dir/result" || { echo "-"; return; }
        values+=("$(fast_metric "$dir" "$4" "$5")")
    done
    printf '%s\n' "${values[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
# Is A below B? (figures, "-" never is)
below() { [[ $1 != - && $2 != - ]] && awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

{
    echo
    echo "## Fast lines: 921600 and 3000000 baud"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores, shared; median of $repeats."
    echo "$(fastKib 921600) KiB at 921600 baud, $(fastKib 3000000) KiB at 3000000 (about 3 s of line each); the sender starts 0.3 s before the receiver."
    echo "Acknowledged modes at 16 ms run $fastJobs at a time, everything else one at a time. Wall: receiver start to both exited."
    echo "Data: first byte of data block 1 to the EOT (nullmodem trace). Ideal: payload / (frame + acknowledgement + round trip of the acknowledgement, in byte times); for Y-Modem G the line rate less the frame overhead (1024 of 1029 bytes)."
    echo "Floor: bare frame/reply peers (bench/line_floor.c) on the same line, the same number of 1K frames: what the line, its ptys and the machine's wake-ups leave of the ideal."
    echo "lrzsz ÷ ours: the lrzsz reference's time over ours, above 1 means blockxfer is faster (a send is compared with lrzsz's sender into the same receiver, a receive with lrzsz's receiver from the same sender)."
    echo "CPU %: user + system of the blockxfer side over its own run time, as a share of one core."
    echo
    echo "nullmodem's own pace (1.5 s of data through an idle line):"
    echo
    for rate in "${fastRates[@]}"; do
        pct=$(fast_median throttle "$rate" 0 pct -)
        nmcpu=$(fast_median throttle "$rate" 0 nmcpu -)
        if [[ $pct != - ]]; then
            echo "- $rate baud: $pct % of the line rate (median of $repeats), nullmodem itself $nmcpu % of a core"
            below "$pct" 97 || below 103 "$pct" && miss "nullmodem's pace at $rate baud: $pct % of the line rate"
        else
            echo "- $rate baud: FAILED (bytes lost)"
            miss "nullmodem's pace at $rate baud: bytes lost"
        fi
    done
    echo
    echo "| Baud | Lat ms | Floor s | Floor % ideal |"
    echo "|---|---|---|---|"
} >>"$table"
for rate in "${fastRates[@]}"; do
    frames=$(fastKib "$rate")
    for latency in "${fastLatencies[@]}"; do
        floor=$(fast_median floor "$rate" "$latency" floor -)
        ideal=$(calc "$frames * (1030 * 10 / $rate + 2 * $latency / 1000)" "%.4f")
        echo "| $rate | $latency | $(calc "$floor" "%.3f") | $(calc "100 * $ideal / $floor" "%.1f") |" >>"$table"
    done
done
{
    echo
    echo "| Mode | blockxfer | Pair (receiver ← sender) | Baud | Lat ms | Wall s | Data s | Data % line | Data % ideal | Data % floor | lrzsz ÷ ours: data | lrzsz ÷ ours: wall | CPU % | CPU s/MiB |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} >>"$table"
for rate in "${fastRates[@]}"; do
    size=$(($(fastKib "$rate") * 1024))
    rateBytes=$((rate / 10))
    for latency in "${fastLatencies[@]}"; do
        floor=$(fast_median floor "$rate" "$latency" floor -)
        floorIdeal=$(calc "$(fastKib "$rate") * (1030 * 10 / $rate + 2 * $latency / 1000)" "%.4f")
        floorPct=$(calc "100 * $floorIdeal / $floor" "%.1f")
        for spec in "${fastCases[@]}"; do
            IFS='|' read -r id label kind receiver sender check block acked ref pair <<<"$spec"
            wall=$(fast_median "$id" "$rate" "$latency" wall "$kind")
            if [[ $wall == - ]]; then
                echo "| $label | $kind | $pair | $rate | $latency | FAILED | | | | | | | | |" >>"$table"
                miss "$label $kind at $rate baud, $latency ms: a run failed"
                continue
            fi
            phase=$(fast_median "$id" "$rate" "$latency" phase "$kind")
            cpu=$(fast_median "$id" "$rate" "$latency" cpu "$kind")
            cpupct=$(fast_median "$id" "$rate" "$latency" cpupct "$kind")
            frame=$((3 + block + check))
            ideal=$(calc "$rateBytes * $block / ($frame + $acked + $acked * 2 * $latency * $rateBytes / 1000)" "%.1f")
            dline=$(calc "100 * $size / $phase / $rateBytes" "%.1f")
            dideal=$(calc "100 * $size / $phase / $ideal" "%.1f")
            dfloor="-"
            ((acked)) && dfloor=$(calc "100 * $floor / $phase" "%.1f")
            dratio="-" wratio="-"
            if [[ $ref != - ]]; then
                refPhase=$(fast_median "$ref" "$rate" "$latency" phase -)
                refWall=$(fast_median "$ref" "$rate" "$latency" wall -)
                dratio=$(calc "$refPhase / $phase" "%.3f")
                wratio=$(calc "$refWall / $wall" "%.3f")
            elif [[ $kind != lrzsz ]]; then
                dratio="n/a"; wratio="n/a"
            fi
            if [[ $kind == lrzsz ]]; then
                kindCol="(lrzsz only)"; pctCol="-"; cpuCol="-"
            else
                kindCol=$kind; pctCol=$(calc "$cpupct" "%.2f"); cpuCol=$(calc "$cpu * 1048576 / $size" "%.3f")
            fi
            echo "| $label | $kindCol | $pair | $rate | $latency | $wall | $(calc "$phase" "%.3f") | $dline | $dideal | $dfloor | $dratio | $wratio | $pctCol | $cpuCol |" >>"$table"

            [[ $kind == lrzsz ]] && continue
            at="$label $kind at $rate baud, $latency ms"
            if ((acked)) && [[ $latency == 1 ]] && below "$dideal" 97; then
                miss "data phase $at: $dideal % of ideal (target 97 %; the line's floor: $floorPct %)"
            fi
            if ((!acked)) && below "$dline" 99; then
                miss "data phase $at: $dline % of the line rate (target 99 %)"
            fi
            below "$dratio" 1 && miss "data phase $at: ${phase} s vs lrzsz ${refPhase} s (× $dratio)"
            below "$wratio" 1 && miss "wall $at: ${wall} s vs lrzsz ${refWall} s (× $wratio)"
            [[ $rate == 3000000 ]] && below 5 "$cpupct" && miss "CPU $at: $cpupct % of one core (target 5 %)"
        done
    done
done

if ((!fastOnly)); then

{
    echo
    echo "## Unthrottled, 4 MiB Y-Modem (1 ms latency where lrzsz takes part, as it needs it on a pty)"
    echo
    echo "| Pair (receiver ← sender) | Lat ms | Wall s | MB/s (wall) | Data s | MB/s (data) | CPU s/MiB (blockxfer) |"
    echo "|---|---|---|---|---|---|---|"
} >>"$table"
for row in "ub 0 blockxfer -ry ← blockxfer -sy" "ub 1 blockxfer -ry ← blockxfer -sy" \
    "us 1 rb ← blockxfer -sy" "ur 1 blockxfer -ry ← sb -k" "uL 1 rb ← sb -k"; do
    read -r id latency pair <<<"$row"
    wall=$(median_of "$id" "$latency" wall)
    if [[ $wall == - ]]; then
        echo "| $pair | $latency | FAILED | | | | |" >>"$table"
        miss "unthrottled $pair at $latency ms: a run failed"
        continue
    fi
    phase=$(median_of "$id" "$latency" phase)
    cpu=$(median_of "$id" "$latency" cpu)
    cpuCol=$([[ $id == uL ]] && echo "-" || calc "$cpu / 4" "%.3f")
    echo "| $pair | $latency | $wall | $(calc "$bigSize / $wall / 1e6" "%.2f") | $(calc "$phase" "%.3f") | $(calc "$bigSize / $phase / 1e6" "%.2f") | $cpuCol |" >>"$table"
done
ours=$(median_of ub 1 wall)
theirs=$(median_of uL 1 wall)
if [[ $ours != - && $theirs != - ]] && awk -v a="$ours" -v b="$theirs" 'BEGIN { exit !(a > b) }'; then
    miss "unthrottled 4 MiB Y-Modem: blockxfer ${ours} s vs lrzsz ${theirs} s"
fi
fi

((fastOnly)) || noisy_table >>"$table"
((fastOnly)) || uboot_table >>"$table"

{
    echo
    echo "## Targets"
    echo
    if [[ -s $targets ]]; then cat "$targets"; else echo "- all met"; fi
    echo
    echo "Benchmark time: $(($(date +%s) - started)) s."
} >>"$table"
. "$here/sections.sh"
keep_sections "$output" "$table"
cp "$table" "$output"
cat "$table"
