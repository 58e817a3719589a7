# The shell checks' one way of counting: each check prints "ok: WHAT" or "FAILED: WHAT" and the
# caller ends with the counts. Sourced by the package check and the kernel guests' scenarios.
passes=0
failures=0

check() {  # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@" >/dev/null 2>&1; then
        echo "ok: $what"; passes=$((passes + 1))
    else
        echo "FAILED: $what"; failures=$((failures + 1))
    fi
}
