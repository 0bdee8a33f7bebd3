#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The public header compiles cleanly as C89, C99, C11 and C++, natively and for 32-bit Windows,
# with each of its macros (calling conventions, export) overridden on its own.
# usage: header_test.sh SOURCE_DIR BUILD_DIR
set -u
src=$1
build=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
printf '#include "kestrum8_map.h"\nint main(void) { return GetMapLibraryVersionNumber() > 0 ? 0 : 1; }\n' >"$work/host.c"
cp "$work/host.c" "$work/host.cpp"
includes=(-I"$src/include" -I"$build/include")
overrides=("" "-DK8MAP_STDCALL=" "-DK8MAP_CDECL=" "-DK8MAP_API=" "-DK8MAP_NO_DLLIMPORT")
compile() {  # NAME COMPILER ARGS...
  local name=$1
  shift
  if "$@" -fsyntax-only "${includes[@]}" >"$work/log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "$name:"
    head -5 "$work/log"
  fi
}
compilers=(cc c++)
command -v i686-w64-mingw32-gcc >/dev/null && compilers+=(i686-w64-mingw32-gcc i686-w64-mingw32-g++)
for compiler in "${compilers[@]}"; do
  for override in "${overrides[@]}"; do
    case $compiler in
      *++)
        for std in c++98 c++11 c++20; do
          compile "$compiler -std=$std $override" "$compiler" -std=$std -pedantic -Wall -Wextra \
            -Werror $override "$work/host.cpp"
        done ;;
      *)
        for std in c89 c99 c11; do
          compile "$compiler -std=$std $override" "$compiler" -std=$std -pedantic -Wall -Wextra \
            -Werror $override "$work/host.c"
        done ;;
    esac
  done
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
