#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Python package as users get it: the wheel built offline from python/ with Debian's Python
# (/usr/bin/python3, whose packages build it, whatever python3 comes first on PATH), installed
# into a fresh virtual environment with nothing else (it must import and parse there), and the
# tests run with pytest against that installed package, not the source tree.
# usage: python-test.sh BUILD_DIR   (BUILD_DIR from the native preset: its library is what the
#        answers are compared with)
set -u
cd "$(dirname "$0")/.."
src=$PWD
library=$(cd "$1" && pwd)/bin/libkestrum8_map.so.1
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
say() { echo "$1"; failed=$((failed + 1)); }

if ! (cd python && "$python" -m build --no-isolation --wheel --outdir "$work/dist" . >"$work/build.log" 2>&1); then
  tail -20 "$work/build.log"
  echo "0 passed, 1 failed"
  exit 1
fi
wheel=$(ls "$work"/dist/kestrum8_map-*.whl)
echo "wheel: $(basename "$wheel")"
# The wheel carries the licence's text and says which licence it is.
"$python" - "$wheel" <<'PY' || say "the wheel lacks its LICENSE or its licence metadata"
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
metadata = zipfile.ZipFile(sys.argv[1]).read(next(n for n in names if n.endswith("/METADATA"))).decode()
assert any(n.endswith("/LICENSE") for n in names), names
assert "License: MIT" in metadata and "MIT License" in metadata, metadata
PY

# Alone: a virtual environment with nothing but the wheel.
"$python" -m venv "$work/alone" && "$work/alone/bin/pip" install --no-index -q "$wheel" ||
  say "the wheel does not install into a fresh virtual environment"
(cd "$work" && "$work/alone/bin/python" -c "
import kestrum8_map as k8
t = k8.parse('$src/examples/sample.map')
assert len(t) == 19 and t.lookup(0x1062)[1] == 6, t
print('alone:', k8.__version__, t)") || say "the installed wheel does not work alone"

# The tests, with Debian's pytest beside the installed package, run from outside the source.
"$python" -m venv --system-site-packages "$work/tests" && "$work/tests/bin/pip" install --no-index -q "$wheel" ||
  say "the wheel does not install beside pytest"
log=$(cd "$work" && K8MAP_SOURCE_DIR=$src K8MAP_LIBRARY=$library \
  "$work/tests/bin/python" -m pytest -q -p no:cacheprovider "$src/python/tests" 2>&1)
status=$?
echo "$log" | tail -15
passed=$(echo "$log" | tail -1 | grep -oE '[0-9]+ passed' | cut -d' ' -f1)

# The stubs against the installed module (mypy's stubtest), and a field written that mypy must
# refuse.
if (cd "$work" && "$work/tests/bin/python" -m mypy.stubtest kestrum8_map \
      --allowlist "$src/python/tests/stubtest_allowlist.txt" >"$work/stubtest.log" 2>&1); then
  passed=$((${passed:-0} + 1))
else
  tail -20 "$work/stubtest.log"
  say "the stubs differ from the module"
fi
printf 'import kestrum8_map as k8\nk8.Symbol("x", 1, "Addr.", "g").value = 3\n' >"$work/typed.py"
if (cd "$work" && "$work/tests/bin/python" -m mypy "$work/typed.py" 2>&1 | grep -q 'read-only'); then
  passed=$((passed + 1))
else
  say "mypy lets a Symbol's field be written"
fi
# A host's own code, typed as its authors write it, passes mypy --strict; a wrong address does not.
cat >"$work/strict.py" <<'PY'
import array
import kestrum8_map as k8

def lookups(table: k8.Table, flag: bool) -> None:
    table.lookup_many(array.array("I", [1, 2]), as_indices=flag)
    table.lookup_many([1, 2], as_indices=True)
    reason: k8.NoteReason = table.notes[0].reason if table.notes else k8.NoteReason.OTHER
    print(reason, k8.ErrorCode.SYNTAX)

def budget(old: k8.Table, new: k8.Table) -> int:
    use: list[k8.MemoryUse] = new.usage(memory=["RAM=0x20000000,128K"])["memories"]
    grown = [c["name"] for c in k8.diff_sizes(old, new, top=5)["symbols"] if c["delta"] > 0]
    known = [s for s in new.sizes("Func.") if s != k8.UNKNOWN_SIZE]
    return sum(m["used"] for m in use) + len(grown) + sum(known)
PY
printf 'import kestrum8_map as k8
k8.parse("m").lookup_many(["x"])
' >"$work/wrong.py"
if (cd "$work" && "$work/tests/bin/python" -m mypy --strict "$work/strict.py" >"$work/strict.log" 2>&1) &&
   ! (cd "$work" && "$work/tests/bin/python" -m mypy "$work/wrong.py" >/dev/null 2>&1); then
  passed=$((passed + 1))
else
  cat "$work/strict.log"
  say "mypy --strict refuses a host's lookups, or takes strings as addresses"
fi
failures=$(echo "$log" | tail -1 | grep -oE '[0-9]+ failed' | cut -d' ' -f1)
[ $status -eq 0 ] || [ -n "$failures" ] || failures=1
echo "${passed:-0} passed, $((failed + ${failures:-0})) failed"
[ $status -eq 0 ] && [ $failed -eq 0 ]
