#!/usr/bin/env bash
# The memory checker that scripts/valgrind-tests.sh hands to ctest. ctest calls it as it would
# call valgrind:
#   valgrind-memcheck.sh --log-file=<log> [valgrind options...] <test command...>
# A test whose program comes from this project runs under valgrind, and so does every program it
# starts (the tool tests start norn-service through /bin/sh; programs below /usr are skipped by
# the options). Each process logs to a file of its own, and the files are joined into <log>, the
# test's own process first, so that ctest and the summary see one log per test.
# Commands from outside the project (the compiler that the layout test runs, the shell tools of
# the library-file tests) are not the project's code: they run without valgrind.
# Exit status: the test's own, or the error exit code when any process of the test had an error.
set -uo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
log=""
options=()
errorExitCode=1
while [[ $# -gt 0 && $1 == -* ]]; do
    case $1 in
        --log-file=*) log=${1#--log-file=} ;;
        --error-exitcode=*) errorExitCode=${1#--error-exitcode=}; options+=("$1") ;;
        *) options+=("$1") ;;
    esac
    shift
done
[[ -n $log && $# -gt 0 ]] || { echo "usage: $0 --log-file=<log> [options] command..." >&2; exit 2; }

program=$(command -v "$1" || true)
if [[ $(realpath -m "$program") != "$project"/* ]]; then
    : >"$log"
    exec "$@"
fi

rm -f "$log" "$log".pid*
valgrind "${options[@]}" --log-file="$log.pid%p" "$@"
status=$?

# The test's own process first (its parent is this script), then the processes it started in
# the order of their pids.
shopt -s nullglob
parts=("$log".pid*)
if [[ ${#parts[@]} -gt 0 ]]; then
    top=$(grep -l "^==[0-9]*== Parent PID: $$\$" "${parts[@]}" | head -n 1)
    {
        [[ -n $top ]] && cat "$top"
        for pid in $(printf '%s\n' "${parts[@]##*.pid}" | sort -n); do
            [[ $log.pid$pid == "$top" ]] || cat "$log.pid$pid"
        done
    } >"$log"
    rm -f "${parts[@]}"
else
    : >"$log"
fi

errors=$(awk '$2 == "ERROR" && $3 == "SUMMARY:" { sum += $4 } END { print sum + 0 }' "$log")
if [[ $errors -gt 0 ]]; then
    echo "valgrind: ${errors} error(s) in this test, see $log" >&2
    [[ $status -ne 0 ]] || status=$errorExitCode
fi
exit "$status"
