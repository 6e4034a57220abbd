# Counting checks for the test scripts: sourced, it gives
#
#   check DESCRIPTION COMMAND...         passes when COMMAND succeeds
#   expect_eq DESCRIPTION EXPECTED ACTUAL
#   count_check DESCRIPTION STATUS       a result the script judged itself
#                                        (STATUS 0: passed)
#   finish                               the closing "N passed, N failed"
#                                        line; non-zero when anything failed
#
# Each returns non-zero for a failed check, which is counted in `failures`
# (of `checks`). A failure prints "FAIL: DESCRIPTION" on standard error,
# a pass nothing; a script that reports otherwise redefines check_failed
# and check_passed after sourcing this.
failures=0
checks=0

check_passed() { :; }
check_failed() { echo "FAIL: $1" >&2; }

count_check() {
    checks=$((checks + 1))
    if [ "$2" -eq 0 ]; then
        check_passed "$1"
        return 0
    fi
    failures=$((failures + 1))
    check_failed "$1"
    return 1
}

check() {
    local what=$1
    shift
    "$@"
    count_check "$what" $?
}

expect_eq() {
    if [ "$2" = "$3" ]; then
        count_check "$1" 0
        return
    fi
    count_check "$1" 1
    printf '  expected: %q\n  actual:   %q\n' "$2" "$3" >&2
    return 1
}

finish() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}
