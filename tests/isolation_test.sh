#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The unit and host tests share nothing between runs: two runs at once both pass, and a run as
# an unprivileged user (nobody) passes after runs as root. The user's run works on a world-
# readable copy of the test programs, the library and the files the tests read, so it does not
# depend on who may enter the build and source folders.
# usage: isolation_test.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR from the native preset, already built)
set -u
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$src/tests/packaging/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
suites="unit_tests host_tests"
# The readers' comparisons with token-by-token parsing share nothing and take most of the
# suite's time; every other test runs.
filter=--gtest_filter=-Readers/LineShortcut.*

# runs SUITES from BIN, logging to LOG_PREFIX.<suite>.log; returns non-zero if any failed
run_suites() {  # BIN LOG_PREFIX [COMMAND PREFIX...]
  local bin=$1 log=$2 status=0 suite
  shift 2
  for suite in $suites; do
    "$@" "$bin/$suite" --gtest_brief=1 "$filter" >"$log.$suite.log" 2>&1 || status=1
  done
  return $status
}

run_suites "$build/bin" "$work/first" & first=$!
run_suites "$build/bin" "$work/second" & second=$!
wait $first
verdict concurrent_first $(( $? == 0 )) "$(tail -n 5 "$work"/first.*.log)"
wait $second
verdict concurrent_second $(( $? == 0 )) "$(tail -n 5 "$work"/second.*.log)"

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the run as another user is left out"
else
  stage=$work/stage
  mkdir -p "$stage/bin" "$stage/src/grammar"
  for suite in $suites; do cp "$build/bin/$suite" "$stage/bin/"; done
  cp -a "$build"/bin/libkestrum8_map.so* "$stage/bin/"
  cp -r "$src/tests/data" "$stage/data"
  cp "$src/src/grammar/parse_tables.inc" "$stage/src/grammar/"
  chmod -R a+rX "$work"
  run_suites "$stage/bin" "$work/nobody" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env K8MAP_TEST_DATA="$stage/data" K8MAP_SOURCE_DIR="$stage"
  verdict as_nobody $(( $? == 0 )) "$(tail -n 8 "$work"/nobody.*.log)"
fi

finish
