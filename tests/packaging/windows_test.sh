#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows distribution zip as a user meets it: made by cpack, unpacked into an empty folder;
# its one top folder and what it holds; mapsyms.exe run from it under Wine; a C host linked from
# its include/ and lib/ with MinGW (libkestrum8_map.dll.a), MSVC-style (clang in MSVC mode,
# lld-link with /SAFESEH, kestrum8_map.lib) and through its CMake package (named by its folder,
# the DLL copied beside the program); the export table, imports and version resource of its
# stripped DLL.
# usage: windows_test.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR from the windows preset, already built)
set -u
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$src/tests/packaging/checks.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
listing=$src/tests/golden/sample.txt
{ cat "$listing"; echo "12 records"; echo "19 symbols of every kind"
  echo "0x1062 is uart_wait_tx+0x6"; } >"$work/host.expected"
{ echo "kestrum8_map.dll Ver.1.0"; cat "$listing"; echo "12 records"
  echo "19 symbols found by name; 0x1062 is uart_wait_tx"; } >"$work/msvc.expected"
{ echo "kestrum8_map.dll Ver.1.0"; echo "12 records"; cat "$listing"; } >"$work/consumer.expected"

(cd "$build" && cpack -B "$work/packages" >"$work/cpack.log" 2>&1)
verdict cpack $(( $? == 0 )) "$(tail -5 "$work/cpack.log")"
zip=$work/packages/kestrum8_map-$version-win32.zip
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip")
verdict unzip $(( $? == 0 )) "cannot unpack $zip"
top=$(ls -A "$work/unpacked")
verdict zip_top_folder $([ "$top" = "kestrum8_map-$version-win32" ] && echo 1 || echo 0) "unpacks into: $top"
dist=$work/unpacked/kestrum8_map-$version-win32
got=$(cd "$dist" && find . -type f | sort | tr '\n' ' ')
want="./CHANGELOG.md ./LICENSE ./README.md ./bin/kestrum8_map.dll ./bin/mapsyms.exe ./bin/maptokens.exe \
./examples/host.c ./examples/sample.map ./include/kestrum8_map.h ./include/kestrum8_map_version.h \
./lib/cmake/kestrum8_map/kestrum8_mapConfig.cmake ./lib/cmake/kestrum8_map/kestrum8_mapConfigVersion.cmake \
./lib/cmake/kestrum8_map/kestrum8_mapTargets-release.cmake ./lib/cmake/kestrum8_map/kestrum8_mapTargets.cmake \
./lib/kestrum8_map.def ./lib/kestrum8_map.lib ./lib/libkestrum8_map.dll.a ./lib/pkgconfig/kestrum8_map.pc \
./share/man/man1/mapsyms-check.1.gz ./share/man/man1/mapsyms-diff.1.gz ./share/man/man1/mapsyms-export.1.gz ./share/man/man1/mapsyms-report.1.gz \
./share/man/man1/mapsyms-symbolize.1.gz ./share/man/man1/mapsyms-usage.1.gz ./share/man/man1/mapsyms.1.gz ./share/man/man1/maptokens.1.gz "
verdict zip_contents $([ "$got" = "$want" ] && echo 1 || echo 0) "holds: $got"
same_file zip_licence "$src/LICENSE" "$dist/LICENSE"

sample=examples/sample.map
run() {  # EXE ARGS...: runs a program from the unpacked bin/ under Wine, in the unpacked folder
  (cd "$dist" && wine "$@" 2>/dev/null | tr -d '\r')
}
run bin/mapsyms.exe "$sample" >"$work/out"
same_file zip_mapsyms "$listing" "$work/out"

# MinGW: the zip's example against libkestrum8_map.dll.a.
i686-w64-mingw32-gcc -std=c99 -Wall -Wextra -Werror -I"$dist/include" -o "$dist/bin/host_mingw.exe" \
  "$dist/examples/host.c" "$dist/lib/libkestrum8_map.dll.a" >"$work/cc.log" 2>&1
verdict mingw_link $(( $? == 0 )) "$(head -5 "$work/cc.log")"
run bin/host_mingw.exe "$sample" >"$work/out"
same_file mingw_host "$work/host.expected" "$work/out"

# An import library made from the zip's .def as the README says (dlltool -k), and the example
# linked against it.
(cd "$work" && i686-w64-mingw32-dlltool -k -d "$dist/lib/kestrum8_map.def" -l libfromdef.a) &&
  i686-w64-mingw32-gcc -std=c99 -Wall -Wextra -Werror -I"$dist/include" -o "$dist/bin/host_def.exe"     "$dist/examples/host.c" "$work/libfromdef.a" >"$work/cc.log" 2>&1
verdict def_import_library $(( $? == 0 )) "$(head -5 "$work/cc.log")"
run bin/host_def.exe "$sample" >"$work/out"
same_file def_host "$work/host.expected" "$work/out"

# MSVC-style: no C runtime, kernel32 only; its import library made from a .def here.
llvm-dlltool -m i386 -k -d "$src/tests/packaging/kernel32.def" -l "$work/kernel32.lib" &&
  clang --target=i686-pc-windows-msvc -ffreestanding -O1 -Wall -Wextra -Werror -I"$dist/include" \
    -c "$src/tests/packaging/msvc_host.c" -o "$work/msvc_host.obj" &&
  lld-link /nologo /safeseh /entry:HostMain /subsystem:console /nodefaultlib \
    /out:"$dist/bin/host_msvc.exe" "$work/msvc_host.obj" "$dist/lib/kestrum8_map.lib" \
    "$work/kernel32.lib" >"$work/link.log" 2>&1
verdict msvc_link $(( $? == 0 )) "$(head -5 "$work/link.log")"
run bin/host_msvc.exe "$sample" >"$work/out"
same_file msvc_host "$work/msvc.expected" "$work/out"
imports=$(i686-w64-mingw32-objdump -p "$dist/bin/host_msvc.exe" |
          sed -n '/DLL Name: kestrum8_map.dll/,/^$/p' | awk 'NR > 2 && NF == 3 {print $3}' | sort | tr '\n' ' ')
verdict msvc_undecorated_imports \
  $([ "$imports" = "CreateSymbolTable FindSymbolByAddress FindSymbolByName FreeAllRecords FreeSymbolTable GetErrorMessage GetFirstRecord GetMapDllVersion GetNextRecord GetRecordCount GetSymbolCount GetSymbols MapParse ParseMapFile " ] && echo 1 || echo 0) \
  "imports: $imports"

# MinGW through the zip's CMake package, with the package search restricted to the toolchain's
# root as many toolchain files have it: the package named by its folder, the DLL copied beside
# the program by the build.
cmake -S "$src/tests/consumer" -B "$work/consumer" -DK8MAP_CONSUMER=package \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
  -Dkestrum8_map_DIR="$dist/lib/cmake/kestrum8_map" \
  >"$work/consumer.log" 2>&1 && cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1
verdict cmake_package $(( $? == 0 )) "$(tail -5 "$work/consumer.log")"
same_file cmake_package_dll "$dist/bin/kestrum8_map.dll" "$work/consumer/kestrum8_map.dll"
run "$work/consumer/consumer.exe" "$sample" >"$work/out"
same_file cmake_package_host "$work/consumer.expected" "$work/out"

bash "$src/tests/exports_test.sh" "$dist/bin/kestrum8_map.dll" windows stripped >"$work/exports.log"
verdict zip_dll_exports $(( $? == 0 )) "$(cat "$work/exports.log")"

finish
