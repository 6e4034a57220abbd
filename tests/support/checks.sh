# Counting checks for the test scripts: sourced, it gives check, expect_eq
# and finish, which prints the closing "N passed, N failed" line and
# returns non-zero when anything failed.
failures=0
checks=0

check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    checks=$((checks + 1))
    if "$@"; then
        return 0
    fi
    failures=$((failures + 1))
    echo "FAIL: $what" >&2
    return 1
}

expect_eq() {  # expect_eq DESCRIPTION EXPECTED ACTUAL
    checks=$((checks + 1))
    if [ "$2" != "$3" ]; then
        failures=$((failures + 1))
        printf 'FAIL: %s\n  expected: %q\n  actual:   %q\n' "$1" "$2" "$3" >&2
    fi
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}
