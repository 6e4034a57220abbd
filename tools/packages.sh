#!/bin/sh
# The Debian packages this project needs, in one place: the demo, CI and the
# README all take them from here.
#
#   tools/packages.sh list GROUP...      the packages, one a line
#   tools/packages.sh missing GROUP...   those not installed yet
#   tools/packages.sh command GROUP...   the apt-get command for the missing ones
#   tools/packages.sh can-install GROUP...  whether `install` can work: true
#                                        when nothing is missing or it runs as
#                                        root or has sudo without a password;
#                                        otherwise prints the command and fails
#   tools/packages.sh install GROUP...   installs the missing ones (apt-get
#                                        update, then install), if it can
#
# Groups:
#   build    configure and build everything (cmake -S . -B build)
#   test     run the test suite and the demo (ctest, tools/demo.sh; QEMU
#            and U-Boot for the tests against a real boot loader)
#   package  make and check the Debian package (cpack -G DEB, man -w)
#   ci       the extra CI jobs: Windows cross build (groff for the manual
#            page as text) and Wine (xdotool for the bench's result box),
#            fuzzing, valgrind
# `install` writes apt's output to $PACKAGES_LOG when that is set.
set -u

group() {
  case $1 in
    build) echo cmake g++ make libgtest-dev libgmock-dev googletest qt6-base-dev qt6-serialport-dev ;;
    test) echo lrzsz socat gzip fonts-wine xvfb xauth qemu-system-arm u-boot-qemu ;;
    package) echo dpkg-dev file man-db ;;
    ci) echo g++-mingw-w64-x86-64 groff-base wine wine64 xdotool clang-14 libclang-rt-14-dev valgrind ;;
    *) echo "packages.sh: no group '$1' (build, test, package, ci)" >&2; return 1 ;;
  esac
}

list() {
  names=""
  for g in "$@"; do
    names="$names $(group "$g")" || return 1
  done
  echo $names | tr ' ' '\n'
}

# dpkg-query knows what is installed; "install ok installed" is the only
# state that counts (a removed package leaves "deinstall ok config-files").
missing() {
  names=$(list "$@") || return 1
  for p in $names; do
    state=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)
    [ "$state" = "install ok installed" ] || echo "$p"
  done
}

command_for() {
  echo "apt-get update && apt-get install -y $(echo "$*" | tr '\n' ' ' | sed 's/ $//')"
}

# Sets need (the missing packages) and as_root ("" or "sudo"); false, with
# the command to run printed, when they cannot be installed from here.
prepare() {
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "Not a Debian system (no dpkg-query); install these by hand:" >&2
    echo "  $(list "$@" | tr '\n' ' ')" >&2
    return 1
  fi
  need=$(missing "$@") || return 1
  as_root=""
  [ -n "$need" ] || return 0
  [ "$(id -u)" -eq 0 ] && return 0
  # -n: a password prompt would hang an unattended run; say what to do instead.
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root="sudo"
    return 0
  fi
  echo "Missing Debian packages: $(echo "$need" | tr '\n' ' ')" >&2
  echo "Install them as root, then run this again:" >&2
  echo "  $(command_for "$need")" >&2
  return 1
}

install() {
  prepare "$@" || return 1
  [ -n "$need" ] || return 0
  log=${PACKAGES_LOG:-/dev/stdout}
  # shellcheck disable=SC2086
  { $as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
    $as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q $need
  } >>"$log" 2>&1
}

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"; exit 2; }

action=${1:-}
[ $# -ge 2 ] || usage
shift
case $action in
  list) list "$@" ;;
  missing) missing "$@" ;;
  command) need=$(missing "$@") || exit 1; [ -z "$need" ] || command_for "$need" ;;
  can-install) prepare "$@" ;;
  install) install "$@" ;;
  *) usage ;;
esac
