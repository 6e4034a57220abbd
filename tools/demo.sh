#!/usr/bin/env bash
# Builds everything, then runs the main job on the simulated board: a
# nullmodem cable at 115200 baud with fakeboard on one end and
#   blockxfer -p7 -sy sample-firmware.bin -lfLOG -lx"=> "
# on the other. Shows the progress line, "Sent OK", the captured LOG with
# the board's CRC-32 next to the file's own, and ends with blockxfer's exit
# status, or 1 when the two CRC-32 values differ.
#
# On a machine without the Debian packages it needs (tools/packages.sh,
# groups build and test, the same the test suite needs), it installs them:
# as root, or through sudo when that needs no password; otherwise it stops
# and prints the apt-get command. Each stage prints one line; its full
# output goes to a log file in the build directory, shown when it fails.
#
# BUILD_DIR chooses the build directory (default: build in the source tree);
# --no-build runs on what is already built there (as the test suite does);
# --verbose shows every stage's output as it comes.
set -u

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
building=yes
verbose=no
for arg in "$@"; do
  case $arg in
    --no-build) building=no ;;
    --verbose) verbose=yes ;;
    *) echo "usage: $0 [--no-build] [--verbose]" >&2; exit 2 ;;
  esac
done

# stage TITLE LOG COMMAND...: one line for the stage; its output into LOG,
# which is shown (its end) when the command fails.
stage() {
  local title=$1 log=$2
  shift 2
  local began=$SECONDS
  if [ "$verbose" = yes ]; then
    echo "== $title"
    "$@" 2>&1 | tee "$log"
    [ "${PIPESTATUS[0]}" -eq 0 ] && return 0
  else
    printf '%s ... ' "$title"
    if "$@" >"$log" 2>&1; then
      echo "done ($((SECONDS - began)) s)"
      return 0
    fi
    echo "FAILED"
    echo "---- last lines of $log ----" >&2
    tail -n 150 "$log" >&2
    echo "---- end of $log ----" >&2
  fi
  echo "demo: $title failed; the whole output is in $log" >&2
  exit 1
}

if [ "$building" = yes ]; then
  mkdir -p "$build" || exit 1
  missing=$("$root/tools/packages.sh" missing build test) || exit 1
  if [ -n "$missing" ]; then
    # Stops at once, with the command to run, when it cannot install.
    "$root/tools/packages.sh" can-install build test || exit 1
    PACKAGES_LOG="$build/demo-packages.log" stage "Installing $(echo "$missing" | wc -l) Debian packages" \
      "$build/demo-packages.log" "$root/tools/packages.sh" install build test
  fi
  stage "Configuring (cmake)" "$build/demo-configure.log" cmake -S "$root" -B "$build"
  # Only what the demo runs; the test command builds the rest.
  stage "Building blockxfer, nullmodem, fakeboard" "$build/demo-build.log" \
    cmake --build "$build" -j2 --target blockxfer nullmodem fakeboard sample_image
fi

nullmodem=$build/bin/nullmodem
fakeboard=$build/bin/fakeboard
image=$build/sample-firmware.bin
PATH=$build/bin:$PATH
for f in "$nullmodem" "$fakeboard" "$image" "$build/bin/blockxfer"; do
  [ -e "$f" ] || { echo "demo: $f was not built" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/blockxfer-demo.XXXXXX")
. "$root/tools/cable.sh"
# The cable and the board, by their ids, when the demo ends.
keep_pids_in "$work/pids"
trap 'end_kept_pids; rm -rf "$work"' EXIT

cable_start "$nullmodem" "$work/com7" "$work/board" "$work/nullmodem.out" --baud 115200 --max-seconds 120 ||
  exit 1
"$fakeboard" --port "$work/board" --max-seconds 120 >"$work/fakeboard.out" 2>"$work/fakeboard.out.err" &
keep_pid $!
if ! await_text "$work/fakeboard.out" '^ready$' 5 "$!"; then
  echo "demo: fakeboard did not start:" >&2
  cat "$work/fakeboard.out" "$work/fakeboard.out.err" >&2 2>/dev/null
  exit 1
fi

cp "$image" "$work/sample-firmware.bin"
echo
echo "COM7=$work/com7 (one end of the simulated cable; fakeboard is on the other)"
echo "\$ blockxfer -p7 -sy sample-firmware.bin -lfLOG -lx\"=> \""
start=$(date +%s%N)
(cd "$work" && COM7="$work/com7" blockxfer -p7 -sy sample-firmware.bin -lfLOG -lx"=> ")
status=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
printf 'blockxfer exit status: %d (after %d.%02d s)\n' "$status" $((ms / 1000)) $((ms % 1000 / 10))

echo "---- LOG ----"
tr -d '\r' <"$work/LOG" 2>/dev/null
echo
echo "-------------"

# gzip's trailer holds the file's CRC-32 (the zlib one), little-endian.
file_crc=0x$(gzip -c "$work/sample-firmware.bin" | tail -c 8 | od -An -tx4 --endian=little -N4 | tr -d ' \n')
board_crc=$(grep -ao 'CRC-32: 0x[0-9a-f]*' "$work/LOG" 2>/dev/null | head -n1 | cut -d' ' -f2)
echo "CRC-32 of sample-firmware.bin:  $file_crc"
echo "CRC-32 reported by the board:   ${board_crc:-(none)}"
if [ "$status" -ne 0 ]; then
  exit "$status"
fi
if [ "$board_crc" != "$file_crc" ]; then
  echo "demo: the board's CRC-32 does not match the file's" >&2
  exit 1
fi
echo "Match."
