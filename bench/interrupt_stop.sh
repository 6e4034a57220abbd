#!/usr/bin/env bash
# How soon the other end stops after blockxfer is interrupted: runs the
# end-to-end interrupt tests (tests/e2e/interrupt.sh, and with --uboot
# also tests/e2e/uboot_interrupt.sh) RUNS times (default 3) and prints, for
# each peer, the median, lowest and highest time from the signal to the
# other end's stop, in milliseconds, at 115200 baud.
#
#   bench/interrupt_stop.sh [--uboot] [--build DIR] [RUNS]
#
# Peers: bx-rx (blockxfer receiving), bx-tx (blockxfer sending), rb, sb,
# loady (U-Boot in QEMU, in each phase in which it takes a cancel).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
scripts=(interrupt)
runs=3
while [ $# -gt 0 ]; do
    case $1 in
    --uboot) scripts+=(uboot_interrupt); shift ;;
    --build) build=$2; shift 2 ;;
    *) runs=$1; shift ;;
    esac
done
export BLOCKXFER=$build/bin/blockxfer NULLMODEM=$build/bin/nullmodem
export SHIM=$build/lib/libtcdrain_shim.so FLAGS_FAKE=$build/lib/libserial_flags_preload.so
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for _ in $(seq 1 "$runs"); do
    for script in "${scripts[@]}"; do
        out=$(bash "$root/tests/e2e/$script.sh" 2>&1) ||
            { echo "note: a run of $script.sh had failures:"; grep -A2 FAIL <<< "$out"; } >&2
        echo "$out" >> "$log"
    done
done
echo "| other end | runs | median ms | min ms | max ms |"
echo "|---|---|---|---|---|"
awk '$1 == "stop" { print $2, $3 }' "$log" | sort -k1,1 -k2,2n |
    awk '{ v[$1] = v[$1] " " $2; n[$1]++ }
         END { for (p in v) { split(substr(v[p], 2), a, " ");
                              m = n[p] % 2 ? a[(n[p] + 1) / 2] : (a[n[p] / 2] + a[n[p] / 2 + 1]) / 2;
                              printf "| %s | %d | %d | %d | %d |\n", p, n[p], m, a[1], a[n[p]] } }' | sort
