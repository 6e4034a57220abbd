#!/bin/bash
# Builds the fuzz targets with clang and runs each for a bounded time.
#
#   fuzz/run.sh [SECONDS] [TARGET...]     (default 60 s each, all targets)
#
# Targets: receiver sender cmdline capture. Each starts from its seeds in
# fuzz/corpus/<target>/ and grows a scratch corpus in the build folder, so
# the committed seeds stay small. Exits non-zero when a target finds a
# crash, a sanitizer report or a failed check; the input that did it is
# left in <build>/artifacts/. Environment: BUILD_DIR (default
# <repo>/build-fuzz), CXX (default clang++-14).
set -u
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(receiver sender cmdline capture)

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${BUILD_DIR:-$repo/build-fuzz}
cxx=${CXX:-clang++-14}

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null || exit 2
cmake --build "$build" -j2 >/dev/null || { cmake --build "$build" -j1; exit 2; }

status=0
mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
    corpus="$build/corpus-$t"
    mkdir -p "$corpus"
    log="$build/fuzz-$t.log"
    # Long enough for a header and a few 1024-byte blocks.
    "$build/fuzz_$t" "$corpus" "$here/corpus/$t" \
        -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
        -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$t-" >"$log" 2>&1
    rc=$?
    last=$(grep -E '^#[0-9]+' "$log" | tail -1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    corp=$(echo "$last" | sed -n 's/.*corp: \([0-9]*\).*/\1/p')
    if [ $rc -eq 0 ]; then
        echo "fuzz_$t: ok, ${seconds} s, ${execs:-?} runs (${speed:-?}/s), cov ${cov:-?}, features ${ft:-?}, corpus ${corp:-?}"
    else
        echo "fuzz_$t: FAILED (status $rc), see $log:"
        grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -5
        # The target's own output was closed; replay the input to see it.
        unit=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
        [ -n "$unit" ] && "$build/fuzz_$t" "$unit" 2>&1 | grep -E 'check failed|runtime error' | head -3
        status=1
    fi
done
exit $status
