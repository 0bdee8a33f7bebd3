#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Branch coverage of the library (src/) and the command-line programs (tools/) over the native
# suite: the unit and end-to-end tests, the tools' golden tests and the stored fuzz inputs,
# built with clang's source-based coverage. Prints the per-file table and fails when src/ is
# under 95% of its branches or tools/ under 90%; its last line counts that as one test.
#
# What counts: llvm-cov's branches, one per way a condition can go, in the code's own files
# (tests, fuzz targets, benchmarks and system headers left out). Conditions that are constant
# where they stand (template parameters, constant expressions) are folded by the compiler and
# not counted by llvm-cov ("Folded"); nothing else is left out.
# usage: coverage.sh
set -u
cd "$(dirname "$0")/.."
build=build/coverage
cmake --preset coverage >/dev/null && cmake --build --preset coverage -j"$(nproc)" >"$build.log" 2>&1 ||
  { tail -30 "$build.log"; exit 1; }
profiles=$PWD/$build/profiles
rm -rf "$profiles" && mkdir -p "$profiles"
# Every process writes its own profile, the tools run by the golden tests among them.
(cd "$build" && LLVM_PROFILE_FILE="$profiles/%p-%m.profraw" ctest -E valgrind >"$PWD/ctest.log" 2>&1)
status=$?
tail -3 "$build/ctest.log"
[ $status -eq 0 ] || { echo "coverage: the tests failed"; exit 1; }
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$build/merged.profdata" || exit 1
report=$(llvm-cov-14 report "$build/bin/unit_tests" -object "$build/bin/libkestrum8_map.so" \
  -object "$build/bin/mapsyms" -object "$build/bin/maptokens" -object "$build/bin/writers_test" \
  -instr-profile="$build/merged.profdata" \
  -ignore-filename-regex='(tests|fuzz|bench)/|^/usr/' 2>/dev/null)
# File, branches, missed branches, cover: the last three columns.
printf '%-40s %9s %9s %9s\n' file branches missed cover
echo "$report" | awk 'NF >= 13 && $1 ~ /^(src|tools)\// {
  printf "%-40s %9s %9s %9s\n", $1, $(NF-2), $(NF-1), $NF }'
percent() {  # PREFIX
  echo "$report" | awk -v p="$1" 'index($1, p) == 1 && NF >= 13 { b += $(NF-2); m += $(NF-1) }
    END { printf "%.1f", b == 0 ? 100 : 100 * (b - m) / b }'
}
src=$(percent src/)
tools=$(percent tools/)
echo "branch coverage: src/ $src% (at least 95%), tools/ $tools% (at least 90%)"
if awk -v s="$src" -v t="$tools" 'BEGIN { exit !(s >= 95 && t >= 90) }'; then
  echo "1 passed, 0 failed"
else
  echo "0 passed, 1 failed"
  exit 1
fi
