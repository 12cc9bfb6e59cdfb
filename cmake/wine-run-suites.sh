#!/bin/sh
# Runs a GoogleTest program under Wine one test suite at a time, each suite in a process of its
# own: wine-run-suites.sh PREFIX PROGRAM. Faster than a process per test (as ctest runs them),
# and the suites cannot disturb one another. Fails when any suite fails.
set -eu
prefix=$1
program=$2
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
run="$(dirname "$0")/wine-run.sh"
suites=$("$run" "$prefix" "$program" --gtest_list_tests | tr -d '\r' | sed -n 's/^\([^ #][^ ]*\)\.$/\1/p')
[ -n "$suites" ] || { echo "no test suites in $program" >&2; exit 1; }
status=0
for suite in $suites; do
    "$run" "$prefix" "$program" --gtest_filter="$suite.*" --gtest_brief=1 || status=1
done
exit $status
