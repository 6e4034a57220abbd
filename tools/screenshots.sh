#!/bin/sh
# Renders flashstation's window in each phase of a cycle (waiting, board
# talking, programming, success, failure) to PNG files in OUTPUT-FOLDER.
# Uses Xvfb when it is installed, else Qt's offscreen platform.
#   tools/screenshots.sh [BUILD-DIR] [OUTPUT-FOLDER]
# Defaults: build, and doc/screenshots, both in the source tree.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=${2:-$root/doc/screenshots}
tool=$build/bin/station_screenshots
if [ ! -x "$tool" ]; then
  cmake --build "$build" -j2 --target station_screenshots
fi
mkdir -p "$out"
if command -v xvfb-run >/dev/null 2>&1 && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$tool" "$out"
else
  QT_QPA_PLATFORM=offscreen "$tool" "$out"
fi
