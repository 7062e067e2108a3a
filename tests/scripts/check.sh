# Shared by the script tests (sourced): check NAME CONDITION... runs the
# condition and counts it; a script ends with `[ "$failed" -eq 0 ]`.
passed=0
failed=0
check() {
    name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
    fi
}
