#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every C and C++ source file as .clang-format lays it out (the generated tables, a .inc file,
# stay as the generator writes them). Lists the files that differ; one test each.
# usage: check-format.sh
set -u
cd "$(dirname "$0")/.."
passed=0
failed=0
while IFS= read -r file; do
  if clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    passed=$((passed + 1))
  else
    echo "not formatted with .clang-format: $file"
    failed=$((failed + 1))
  fi
done < <(git ls-files '*.c' '*.cpp' '*.h')
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
