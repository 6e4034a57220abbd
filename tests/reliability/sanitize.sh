#!/bin/bash
# Builds the whole project and its test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++) in a folder of its own, and runs ctest.
#
#   tests/reliability/sanitize.sh [ctest arguments...]
#
# Only C++ is instrumented: the C helpers (the tcdrain shim) are preloaded
# into lrzsz, which does not carry the sanitizer runtime. Any report fails
# the test it happens in: leaks included, no recovery from UB.
# Environment: BUILD_DIR (default <repo>/build-asan), SOURCE_DIR (default
# the repository), JOBS (build and test jobs, default 2).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
source_dir=${SOURCE_DIR:-$repo}
build=${BUILD_DIR:-$repo/build-asan}
jobs=${JOBS:-2}
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j"$jobs"

# What the system libraries do under the sanitizers (the xcb platform of the
# one test with a display) is suppressed by name: asan.supp, lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1:suppressions=$here/asan.supp
export LSAN_OPTIONS=suppressions=$here/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -j"$jobs" --output-on-failure "$@"
