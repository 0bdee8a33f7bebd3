# SPDX-License-Identifier: MIT
# Shared by the packaging tests (sourced): counted checks and the closing line.
passed=0
failed=0
# The project's version, as CMake's project() states it; the packages' names carry it.
version=$(sed -n 's/^project(kestrum8_map VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")

# verdict NAME OK DETAIL: counts a check; prints NAME and DETAIL when OK is not 1.
verdict() {
  if [ "$2" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "$1: $3"; fi
}

# same_file NAME EXPECTED ACTUAL: a check that two files are equal, with the difference shown.
same_file() {
  if cmp -s "$2" "$3"; then verdict "$1" 1 ""; else verdict "$1" 0 "differs:"; diff "$2" "$3" | head -10; fi
}

# has_text NAME FILE TEXT: a check that FILE contains TEXT.
has_text() {
  if grep -qF -- "$3" "$2"; then verdict "$1" 1 ""; else verdict "$1" 0 "lacks '$3':"; head -5 "$2"; fi
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
