#!/usr/bin/env bash
# Throughput of blockxfer against the physical limit of the line and against
# lrzsz, over the project's simulated cable (nullmodem).
#
#   bench/throughput.sh [--quick] [--jobs N] [--build DIR] [OUTPUT]
#
# Every send mode and every receive mode of blockxfer, each against an lrzsz
# peer (Y-Modem G against blockxfer itself, as lrzsz cannot receive G), and
# the same transfers between lrzsz programs, at 115200 baud with 0 and 16 ms
# of one-way latency: a 256 KiB random file, median of 3 runs. Then the
# unthrottled case, a 4 MiB Y-Modem transfer. Prints a Markdown table and
# writes it to OUTPUT (default bench/results.md).
#
# In every run the receiver starts 0.3 s before the sender; the wall time
# runs from the sender's start until both have exited. The data phase (first
# byte of data block 1 to the EOT) is read from the nullmodem trace.
# Independent runs go in parallel (--jobs, default 8): they spend their time
# waiting for the line, not computing, and one run after another would not
# fit into 15 minutes. --quick makes one run per case instead of three.
#
# Needs: a build with nullmodem and blockxfer (default build dir: build/),
# lrzsz (sx, rx, sb, rb), a C compiler for the tcdrain shim, awk, cmp.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${BUILD_DIR:-$repo/build}
repeats=3
jobs=8
output=$here/results.md
while (($#)); do
    case $1 in
    --quick) repeats=1 ;;
    --jobs) jobs=$2; shift ;;
    --build) build=$2; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "throughput.sh: unknown option $1" >&2; exit 2 ;;
    *) output=$1 ;;
    esac
    shift
done

nullmodem=$build/tools/nullmodem/nullmodem
blockxfer=$build/comms/bl-test/blockxfer
for program in "$nullmodem" "$blockxfer"; do
    [[ -x $program ]] || { echo "throughput.sh: $program not built (cmake --build $build)" >&2; exit 1; }
done
for program in sx rx sb rb cc awk cmp; do
    command -v $program >/dev/null || { echo "throughput.sh: $program not found" >&2; exit 1; }
done

baud=115200
lineRate=$((baud / 10))
smallSize=$((${BENCH_SMALL_KIB:-256} * 1024))  # smaller only to try the script out
bigSize=$((${BENCH_BIG_KIB:-4096} * 1024))
work=$(mktemp -d /tmp/throughput.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $smallSize /dev/urandom >"$work/small.bin"
head -c $bigSize /dev/urandom >"$work/big.bin"
# lrzsz ends with tcdrain() then tcflush(); on a pty that loses its final
# ACK about half the time unless tcdrain() waits a little (see the shim).
cc -shared -fPIC -O2 -o "$work/tcdrain_delay.so" "$here/../tests/support/tcdrain_shim.c" -ldl
lrzsz="LD_PRELOAD=$work/tcdrain_delay.so"

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

field() { cut -d'|' -f"$2" <<<"$1"; }

# One transfer. Writes key=value lines to $dir/result.
run_one() {
    set +e
    local spec=$1 baudArg=$2 latency=$3 file=$4 dir=$5
    local receiver sender check
    receiver=$(field "$spec" 4)
    sender=$(field "$spec" 5)
    check=$(field "$spec" 6)
    mkdir -p "$dir/r" "$dir/s"
    cp "$file" "$dir/s/in.bin"
    receiver=${receiver//BX/COM7=$dir/a $blockxfer}
    sender=${sender//BX/COM8=$dir/b $blockxfer}
    # lrzsz talks through its standard input and output.
    [[ $receiver == *" rx "* || $receiver == *" rb "* ]] && receiver+=" <$dir/a >$dir/a"
    [[ $sender == *" sx "* || $sender == *" sb "* ]] && sender+=" <$dir/b >$dir/b"

    "$nullmodem" --a "$dir/a" --b "$dir/b" --baud "$baudArg" --latency-ms "$latency" \
        --trace "$dir/trace.txt" --max-seconds 400 >"$dir/nm.out" 2>"$dir/nm.err" &
    local nm=$!
    local i
    for ((i = 0; i < 200; i++)); do
        grep -q ready "$dir/nm.out" 2>/dev/null && break
        sleep 0.02
    done
    local TIMEFORMAT='%R %U %S'
    (cd "$dir/r" && { time timeout 300 bash -c "$receiver" >../r.out 2>../r.err; } 2>../r.time; echo $? >../r.rc) &
    local rxPid=$!
    sleep 0.3
    local t0 t1
    t0=$(date +%s%N)
    (cd "$dir/s" && { time timeout 300 bash -c "$sender" >../s.out 2>../s.err; } 2>../s.time; echo $? >../s.rc)
    wait $rxPid || true
    t1=$(date +%s%N)
    kill -TERM $nm 2>/dev/null || true
    wait $nm || true

    local ok=1 got
    got=$(ls "$dir/r")
    [[ $(cat "$dir/s.rc") == 0 && $(cat "$dir/r.rc") == 0 && -n $got ]] || ok=0
    ((ok)) && { cmp -s "$dir/s/in.bin" "$dir/r/$got" || ok=0; }
    local phase
    phase=$(awk -v dir=ba -v check="$check" -v baud="$baudArg" -f "$here/trace_phase.awk" "$dir/trace.txt")
    read -r rcpu_u rcpu_s <<<"$(tail -1 "$dir/r.time" | cut -d' ' -f2-)"
    read -r scpu_u scpu_s <<<"$(tail -1 "$dir/s.time" | cut -d' ' -f2-)"
    {
        echo "ok=$ok"
        echo "wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')"
        echo "phase=$phase"
        echo "rcpu=$(awk -v u="$rcpu_u" -v s="$rcpu_s" 'BEGIN { print u + s }')"
        echo "scpu=$(awk -v u="$scpu_u" -v s="$scpu_s" 'BEGIN { print u + s }')"
    } >"$dir/result"
    rm -f "$dir/s/in.bin" "$dir/r/$got"
}

# ---- run them ------------------------------------------------------------------
pool() {  # waits until fewer than $jobs runs are going
    while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done
}
started=$(date +%s)
echo "throughput.sh: $((${#cases[@]} * 2 * repeats)) runs at $baud baud ($jobs at a time), then $((${#bigCases[@]} * repeats + repeats)) unthrottled" >&2
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
echo "throughput.sh: 115200 done after $(($(date +%s) - started)) s; unthrottled runs one at a time" >&2
for ((rep = 1; rep <= repeats; rep++)); do
    (run_one "${bigCases[0]}" 0 0 "$work/big.bin" "$work/ub.0.$rep")
    for spec in "${bigCases[@]}"; do
        (run_one "$spec" 0 1 "$work/big.bin" "$work/$(field "$spec" 1).1.$rep")
    done
done

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
{
    echo "# blockxfer throughput"
    echo
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(uname -sr), $(nproc) cores; nullmodem at $baud baud (line rate $lineRate B/s);"
    echo "256 KiB random file; median of $repeats; receiver started 0.3 s before the sender; $jobs runs in parallel."
    echo "Wall: sender start to both exited. Data: first byte of data block 1 to the EOT, from the nullmodem trace."
    echo "Ideal: payload / (frame + acknowledgement + round trip of the acknowledgement in byte times)."
    echo "Start: receiver's first start character to the sender's first frame. lrzsz wall ÷ ours: above 1 means blockxfer is faster. CPU: the blockxfer side, user + system."
    echo
    echo "| Mode | blockxfer | Pair (receiver ← sender) | Lat ms | Wall s | B/s | % line | Start s | Data s | Data % line | Data % ideal | lrzsz wall ÷ ours | CPU s/MiB | CPU % |"
    echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} >"$table"

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

{
    echo
    echo "## Targets"
    echo
    if [[ -s $targets ]]; then cat "$targets"; else echo "- all met"; fi
    echo
    echo "Benchmark time: $(($(date +%s) - started)) s."
} >>"$table"
cp "$table" "$output"
cat "$table"
