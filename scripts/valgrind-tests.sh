#!/usr/bin/env bash
# Runs every CTest test of a build under valgrind memcheck and fails on any error:
#   scripts/valgrind-tests.sh <build-dir> [more ctest arguments...]
# ctest's memcheck mode runs each test through scripts/valgrind-memcheck.sh (see there which
# processes are checked), one log per test in <build-dir>/Testing/Temporary/MemoryChecker.<n>.log.
# Errors are invalid accesses, uses of uninitialised values, bad frees and definite or indirect
# leaks; suppressions (scripts/valgrind.supp) cover third-party code only. A test with an error
# fails; the run ends with each of those tests and the error records of its log, and the exit
# status is nonzero when any test failed or had an error.
set -uo pipefail

build=${1:?usage: $0 <build-dir> [ctest arguments...]}
shift
here=$(cd "$(dirname "$0")" && pwd)
temporary="$build/Testing/Temporary"
options=(
    --leak-check=full
    --errors-for-leak-kinds=definite,indirect
    --error-exitcode=99
    --num-callers=40
    --trace-children=yes
    "--trace-children-skip=/usr/*,/sbin/*"
    # A test program's own operator new (the reliability suites fail allocations with one) stays
    # in place; valgrind still sees every block through the malloc below it.
    --soname-synonyms=somalloc=nouserintercepts
)

rm -f "$temporary"/MemoryChecker.*.log
start=$SECONDS
ctest --test-dir "$build" -T memcheck --output-on-failure --timeout 900 -j "$(nproc)" \
    --overwrite MemoryCheckType=Valgrind \
    --overwrite "MemoryCheckCommand=$here/valgrind-memcheck.sh" \
    --overwrite "MemoryCheckCommandOptions=${options[*]}" \
    --overwrite "MemoryCheckSuppressionFile=$here/valgrind.supp" \
    "$@"
status=$?

# Which test had which errors: each log with an error under its test's name, without valgrind's
# banners and summaries.
noise='Memcheck, a memory|Copyright \(C\)|Using Valgrind|Parent PID|HEAP SUMMARY|in use at exit|'
noise+='total heap usage|LEAK SUMMARY|(definitely|indirectly|possibly) lost:|still reachable:|'
noise+='suppressed:|Reachable blocks|To see them|rerun with|Use --track-origins|All heap blocks'

declare -A names
while read -r number name; do names[$number]=$name; done < <(
    ctest --test-dir "$build" -N "$@" | sed -n 's/^ *Test *#\([0-9]*\): \(.*\)$/\1 \2/p')
failing=0
for log in "$temporary"/MemoryChecker.*.log; do
    [[ -e $log ]] || continue
    errors=$(awk '$2 == "ERROR" && $3 == "SUMMARY:" { sum += $4 } END { print sum + 0 }' "$log")
    [[ $errors -gt 0 ]] || continue
    number=${log##*/MemoryChecker.}
    number=${number%.log}
    echo "==== valgrind: test #$number ${names[$number]:-?}: $errors error(s) ($log)"
    grep -v -E "$noise" "$log"
    failing=$((failing + 1))
done
echo "valgrind: $failing test(s) with errors; ctest status $status; $((SECONDS - start)) s"
[[ $failing -eq 0 && $status -eq 0 ]]
