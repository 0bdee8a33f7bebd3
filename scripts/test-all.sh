#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds everything (native, native with sanitizers, 32-bit Windows, the fuzz targets) and runs
# every test: the sources' layout against .clang-format; the unit and end-to-end tests three ways
# (native, AddressSanitizer/UndefinedBehaviorSanitizer/LeakSanitizer, Windows under Wine); the
# threaded tests under ThreadSanitizer; branch coverage (at least 95% of src/, 90% of tools/);
# the export and golden-output checks, the stored fuzz inputs, mapsyms under valgrind; the
# packages as users take them (install prefix, CMake and pkg-config hosts, Debian packages, the
# Windows zip with MinGW and MSVC-style hosts); the tests run twice at once and as another user;
# the packages presets built twice in two folders to the same bytes; each fuzz target for 30 s.
set -u
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh all || exit 1
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
jobs=$(nproc)
passed=0
failed=0
failed_runs=()

# Each step's time, to keep the whole run within its budget.
step_started=$SECONDS
took() { echo "   ($((SECONDS - step_started)) s)"; step_started=$SECONDS; }

run_preset() {  # PRESET
  echo "== $1: build"
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$jobs" >"build/$1.log" 2>&1 ||
    { tail -40 "build/$1.log"; failed_runs+=("$1 build"); return; }
  echo "== $1: test"
  local log
  log=$(ctest --preset "$1" 2>&1)
  local status=$?
  echo "$log" | tail -n 25
  local summary out_of failures
  summary=$(echo "$log" | grep -E 'tests passed, [0-9]+ tests? failed out of' | tail -1)
  out_of=$(echo "$summary" | sed -n 's/.*out of \([0-9]*\).*/\1/p')
  failures=$(echo "$summary" | sed -n 's/.* \([0-9]*\) tests\{0,1\} failed.*/\1/p')
  passed=$((passed + ${out_of:-0} - ${failures:-0}))
  failed=$((failed + ${failures:-0}))
  [ $status -eq 0 ] || failed_runs+=("$1 tests")
  took
}

build_preset() {  # PRESET: configure and build only (the packages presets have no tests)
  echo "== $1: build"
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$jobs" >"build/$1.log" 2>&1 ||
    { tail -40 "build/$1.log"; failed_runs+=("$1 build"); }
  took
}

run_script() {  # NAME SCRIPT ARGS...: a test script that ends with "N passed, M failed"
  echo "== $1"
  local name=$1 log
  shift
  log=$(bash "$@" 2>&1)
  local status=$?
  echo "$log" | tail -n 15
  local summary
  summary=$(echo "$log" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -1)
  local ok bad
  ok=$(echo "$summary" | sed -n 's/^\([0-9]*\) passed.*/\1/p')
  bad=$(echo "$summary" | sed -n 's/.*, \([0-9]*\) failed$/\1/p')
  passed=$((passed + ${ok:-0}))
  failed=$((failed + ${bad:-0}))
  [ $status -eq 0 ] && [ -n "$summary" ] || failed_runs+=("$name")
  took
}

mkdir -p build
# Wine's first start creates its prefix; do it once before the tests run under it.
wineboot -i >/dev/null 2>&1 || true
run_script "format: .clang-format" scripts/check-format.sh
run_script "set-up: a mirror caught mid-sync" tests/install_deps_test.sh
run_preset native
run_script "native: packages" tests/packaging/linux_test.sh . build/native
run_script "python: wheel and tests" scripts/python-test.sh build/native
run_script "native: isolation" tests/isolation_test.sh . build/native
run_preset sanitize
run_preset tsan
run_script "coverage: branches of src/ and tools/" scripts/coverage.sh
run_preset windows
run_script "windows: packages" tests/packaging/windows_test.sh . build/windows
build_preset packages
build_preset packages-windows
run_script "packages: reproducible" tests/reproducible_test.sh . build/packages build/packages-windows

echo "== fuzz: libFuzzer targets, 30 s each"
if bash scripts/fuzz.sh 30; then passed=$((passed + 4)); else failed=$((failed + 1)); failed_runs+=(fuzz); fi
took

echo
[ ${#failed_runs[@]} -eq 0 ] || echo "failed: ${failed_runs[*]}"
[ ${#failed_runs[@]} -gt 0 ] && [ "$failed" -eq 0 ] && failed=${#failed_runs[@]}
echo "took $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "test-all: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
