# Shared helpers of the end-to-end tests: a simulated line between two
# published device paths, peers in the background, cleanup on exit.
# Needs BLOCKXFER and NULLMODEM (paths of the built programs); SHIM is the
# tcdrain shim for lrzsz peers.
#
# The scripts do not use `set -e`: a test goes on after a failed check
# (check and expect_eq count it and return non-zero), so that one run
# reports every fact that is wrong, and finish gives the status. Commands
# whose status is the fact under test (a blockxfer that must fail) are
# expected to fail too. Steps that the rest cannot do without, such as
# the line, end the script themselves.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../support/line.sh"
. "$(dirname "${BASH_SOURCE[0]}")/../support/checks.sh"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/e2e.XXXXXX")
LINE_DIR=$WORK

# The line first, then every background job of the script, by their ids.
cleanup() {
    stop_line
    jobs -p | xargs -r kill 2>/dev/null
    rm -rf "$WORK"
}
trap cleanup EXIT

# X-Modem carries no size: the received file is padded with SUB (0x1A) to
# a multiple of 128 bytes.
padded_copy() {  # padded_copy SRC DST
    local size pad
    size=$(stat -c %s "$1")
    pad=$(( (128 - size % 128) % 128 ))
    cp "$1" "$2"
    [ "$pad" -gt 0 ] && head -c "$pad" /dev/zero | tr '\0' '\032' >> "$2"
    return 0
}

# Random files around the block boundaries and one large one, in src/;
# their names in SIZES.
make_test_files() {
    mkdir -p src
    for size in 0 1 127 128 129 1023 1024 1025 1500; do
        head -c "$size" /dev/urandom > "src/f$size"
    done
    head -c $((300 * 1024)) /dev/urandom > src/big
    SIZES="f0 f1 f127 f128 f129 f1023 f1024 f1025 f1500 big"
}
