# The counting checks the shell tests share. Source it before changing folder; a test ends by
# printing "N passed, M failed" and exiting non-zero when anything failed.
failures=0
passes=0

check() {  # check NAME EXPECTED-STATUS ACTUAL-STATUS
    if [ "$2" = "$3" ]; then
        passes=$((passes + 1))
    else
        echo "FAIL: $1: exit status $3, expected $2"
        [ -n "${show_err_on_fail:-}" ] && sed 's/^/    /' err.txt 2>/dev/null | head -5
        failures=$((failures + 1))
    fi
}

expect() {  # expect NAME CONDITION...
    local name=$1
    shift
    if "$@"; then
        passes=$((passes + 1))
    else
        echo "FAIL: $name"
        failures=$((failures + 1))
    fi
}

not_found() {  # not_found TEXT FILE: the file does not hold the text
    ! grep -qF -- "$1" "$2"
}
