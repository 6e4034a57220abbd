#!/bin/bash
# Cross-builds blockxfer.exe for 64-bit Windows with mingw-w64.
#   tools/build_windows.sh BUILD_DIR [--station] [extra cmake arguments...]
# --station also builds flashstation.exe and the Wine tests'
# window_peek.exe. The programs land in BUILD_DIR/bin; the path of
# blockxfer.exe is the last line of the output.
set -euo pipefail
if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [cmake arguments...]" >&2
    exit 2
fi
build=$1
shift
station=OFF
targets=(blockxfer)
if [ "${1:-}" = --station ]; then
    shift
    station=ON
    targets+=(flashstation window_peek)
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
    echo "x86_64-w64-mingw32-g++ not found (apt-get install g++-mingw-w64-x86-64)" >&2
    exit 3
fi
mkdir -p "$build"
cmake -S "$source_dir" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/mingw-w64-x86_64.cmake" \
    -DBLOCKXFER_STATION=$station -DBLOCKXFER_TESTS=$station "$@" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" --target "${targets[@]}" -j2 >&2
echo "$build/bin/blockxfer.exe"
