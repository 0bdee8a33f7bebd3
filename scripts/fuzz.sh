#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the libFuzzer targets with clang and runs each for a bounded time from the stored
# corpus. Any crash, leak or failed invariant fails the run; its input lands in build/fuzz/
# artifacts, to be kept under fuzz/regressions/<target>/ once fixed.
# usage: fuzz.sh [SECONDS]
set -u
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" >build/fuzz.log 2>&1 ||
  { tail -30 build/fuzz.log; exit 1; }
work=build/fuzz/work
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"

run() {  # TARGET CORPUS
  local dir=$work/$1
  mkdir -p "$dir"
  build/fuzz/bin/$1_fuzzer -max_total_time="$seconds" -timeout=10 -dict=fuzz/map.dict \
    -print_final_stats=1 -artifact_prefix="$artifacts/$1-" "$dir" "fuzz/corpus/$2" \
    >"build/fuzz/$1.log" 2>&1
  local status=$?
  local runs cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "build/fuzz/$1.log")
  cov=$(grep -oE 'cov: [0-9]+' "build/fuzz/$1.log" | tail -1)
  echo "fuzz $1: status $status, $runs executions, $cov edges"
  [ $status -eq 0 ] || tail -30 "build/fuzz/$1.log"
  return $status
}

status=0
run parse map & parse_pid=$!
run scanner map & scanner_pid=$!
wait $parse_pid || status=1
wait $scanner_pid || status=1
run hex hex & hex_pid=$!
run table map & table_pid=$!
wait $hex_pid || status=1
wait $table_pid || status=1
exit $status
