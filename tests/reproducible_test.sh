#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Two builds of the same sources in two different folders give the same bytes: the library,
# the DLL, the programs, the import libraries and every package. The first build is the one the
# test command made with the packages presets (build/packages, build/packages-windows); the
# second is made here the same way from a copy of the sources at another path.
# usage: reproducible_test.sh SOURCE_DIR PACKAGES_BUILD_DIR PACKAGES_WINDOWS_BUILD_DIR
set -u
src=$(cd "$1" && pwd)
native=$(cd "$2" && pwd)
windows=$(cd "$3" && pwd)
. "$src/tests/packaging/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The copy: the files git knows, as they are in the working tree, at a path of another length.
copy=$work/another/place/for/the/sources
mkdir -p "$copy"
(cd "$src" && git ls-files -z | tar --null -T - -cf -) | tar -xf - -C "$copy"

second_build() {  # PRESET BUILD_DIR
  (cd "$copy" && cmake --preset "$1" -B "$2" >"$2.log" 2>&1 &&
    cmake --build "$2" -j"$(nproc)" >>"$2.log" 2>&1)
  verdict "build_$1" $(( $? == 0 )) "$(tail -5 "$2.log")"
}
second_build packages "$work/native"
second_build packages-windows "$work/windows"

same_bytes() {  # NAME A B
  if cmp -s "$2" "$3"; then verdict "$1" 1 ""; else verdict "$1" 0 "$2 and $3 differ"; fi
}
for file in bin/libkestrum8_map.so.$version bin/mapsyms bin/maptokens; do
  same_bytes "native_$(basename "$file")" "$native/$file" "$work/native/$file"
done
for file in bin/kestrum8_map.dll bin/mapsyms.exe bin/maptokens.exe lib/kestrum8_map.lib \
            lib/libkestrum8_map.dll.a; do
  same_bytes "windows_$(basename "$file")" "$windows/$file" "$work/windows/$file"
done

# The packages of both builds.
for build in "$native" "$work/native" "$windows" "$work/windows"; do
  (cd "$build" && cpack -B "$build/reproducible-packages" >"$build/cpack.log" 2>&1) ||
    verdict "cpack_$(basename "$build")" 0 "$(tail -5 "$build/cpack.log")"
done
for package in "$native"/reproducible-packages/*.deb "$native"/reproducible-packages/*.tar.gz \
               "$windows"/reproducible-packages/*.zip; do
  name=$(basename "$package")
  case $package in "$native"/*) other=$work/native ;; *) other=$work/windows ;; esac
  same_bytes "package_$name" "$package" "$other/reproducible-packages/$name"
done
rm -rf "$native/reproducible-packages" "$windows/reproducible-packages"
finish
