#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Linux distribution as a user meets it: an install into a temporary prefix (the installed
# mapsyms, a CMake project with find_package, the C example built with pkg-config), the project
# as a CMake subproject, and the Debian packages and .tar.gz made by cpack (contents,
# dependencies, and mapsyms run from the packages unpacked into a temporary root). Nothing is
# installed into the machine itself.
# usage: linux_test.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR from the native preset, already built)
set -u
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$src/tests/packaging/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The libraries' folder under a prefix, as GNUInstallDirs has it on this system.
libdir=lib/$(gcc -print-multiarch 2>/dev/null || echo)
libdir=${libdir%/}
sample=$src/examples/sample.map
listing=$src/tests/golden/sample.txt
{ echo "kestrum8_map.dll Ver.1.0"; echo "12 records"; cat "$listing"; } >"$work/consumer.expected"
{ cat "$listing"; echo "12 records"; echo "19 symbols of every kind"
  echo "0x1062 is uart_wait_tx+0x6"; } >"$work/host.expected"

# ---- Install into a prefix ----
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1
verdict install $(( $? == 0 )) "$(tail -3 "$work/install.log")"
"$prefix/bin/mapsyms" "$sample" >"$work/out" 2>&1
same_file installed_mapsyms "$listing" "$work/out"
soname=$(readelf -d "$prefix/$libdir/libkestrum8_map.so.$version" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
verdict soname $([ "$soname" = libkestrum8_map.so.1 ] && echo 1 || echo 0) "SONAME '$soname'"
runpath=$(readelf -d "$prefix/bin/mapsyms" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')
verdict runpath $([ "$runpath" = "\$ORIGIN/../$libdir" ] && echo 1 || echo 0) "RUNPATH '$runpath'"

# mapsyms away from its prefix: found through the system's search, or it says where it looked.
mkdir "$work/elsewhere"
cp "$prefix/bin/mapsyms" "$work/elsewhere/"
LD_LIBRARY_PATH=$prefix/$libdir "$work/elsewhere/mapsyms" --count "$sample" >"$work/out" 2>&1
echo 12 >"$work/count.expected"
same_file library_path "$work/count.expected" "$work/out"
"$work/elsewhere/mapsyms" --count "$sample" >/dev/null 2>"$work/err"
verdict load_failure_status $(( $? != 0 )) "exit 0 without a library"
has_text load_failure_beside "$work/err" "$work/elsewhere/libkestrum8_map.so.1"
has_text load_failure_lib "$work/err" "$work/elsewhere/../$libdir/libkestrum8_map.so.1: cannot open shared object file"
verdict load_failure_each_once $([ "$(grep -c "elsewhere/libkestrum8_map.so.1" "$work/err")" = 1 ] && echo 1 || echo 0) \
  "a place named more than once: $(cat "$work/err")"

# ---- A CMake host: find_package against the prefix; the source tree as a subproject ----
consumer() {  # NAME CMAKE_ARGS...
  local name=$1
  shift
  cmake -S "$src/tests/consumer" -B "$work/$name" "$@" >"$work/$name.log" 2>&1 &&
    cmake --build "$work/$name" -j2 >>"$work/$name.log" 2>&1 &&
    "$work/$name/consumer" "$sample" >"$work/out" 2>&1
  verdict "consumer_$name" $(( $? == 0 )) "$(tail -5 "$work/$name.log")"
  same_file "consumer_${name}_output" "$work/consumer.expected" "$work/out"
}
consumer package -DK8MAP_CONSUMER=package -DCMAKE_PREFIX_PATH="$prefix"
consumer subdirectory -DK8MAP_CONSUMER=subdirectory -DK8MAP_SOURCE_DIR="$src"
consumer fetchcontent -DK8MAP_CONSUMER=fetchcontent -DK8MAP_SOURCE_DIR="$src"
# A version the package does not give is refused.
mkdir "$work/too_new"
cat >"$work/too_new/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(too_new LANGUAGES C)
find_package(kestrum8_map 2.0 CONFIG REQUIRED)
CMAKE
cmake -S "$work/too_new" -B "$work/too_new/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1
verdict version_2_refused $(( $? != 0 )) "find_package(kestrum8_map 2.0) succeeded"

# ---- The C example built with pkg-config ----
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror -o "$work/host" "$src/examples/host.c" \
  $(pkg-config --cflags --libs kestrum8_map) >"$work/cc.log" 2>&1
verdict pkg_config_build $(( $? == 0 )) "$(head -5 "$work/cc.log")"
LD_LIBRARY_PATH=$prefix/$libdir "$work/host" "$sample" >"$work/out" 2>&1
same_file pkg_config_host "$work/host.expected" "$work/out"
verdict pkg_config_version $([ "$(pkg-config --modversion kestrum8_map)" = $version ] && echo 1 || echo 0) \
  "version $(pkg-config --modversion kestrum8_map)"
unset PKG_CONFIG_PATH

# ---- Debian packages and the .tar.gz ----
(cd "$build" && cpack -B "$work/packages" >"$work/cpack.log" 2>&1)
verdict cpack $(( $? == 0 )) "$(tail -5 "$work/cpack.log")"
arch=$(dpkg --print-architecture)
runtime=$work/packages/libkestrum8-map1_${version}_$arch.deb
dev=$work/packages/libkestrum8-map-dev_${version}_$arch.deb
tools=$work/packages/kestrum8-map-tools_${version}_$arch.deb
contents() { dpkg-deb -c "$1" 2>/dev/null | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' '; }
expect_contents() {  # NAME DEB FILES...
  local name=$1 deb=$2
  shift 2
  local got want
  got=$(contents "$deb")
  want="$(printf '%s\n' "$@" | sort | tr '\n' ' ')"
  verdict "contents_$name" $([ "$got" = "$want" ] && echo 1 || echo 0) "holds: $got"
}
docs() {  # PACKAGE: its copyright and changelog
  echo "./usr/share/doc/$1/changelog.gz ./usr/share/doc/$1/copyright"
}
# shellcheck disable=SC2046
expect_contents runtime "$runtime" ./usr/$libdir/libkestrum8_map.so.1 \
  ./usr/$libdir/libkestrum8_map.so.$version $(docs libkestrum8-map1)
# shellcheck disable=SC2046
expect_contents dev "$dev" ./usr/include/kestrum8_map.h ./usr/include/kestrum8_map_version.h \
  ./usr/$libdir/libkestrum8_map.so ./usr/$libdir/pkgconfig/kestrum8_map.pc \
  ./usr/$libdir/cmake/kestrum8_map/kestrum8_mapConfig.cmake \
  ./usr/$libdir/cmake/kestrum8_map/kestrum8_mapConfigVersion.cmake \
  ./usr/$libdir/cmake/kestrum8_map/kestrum8_mapTargets.cmake \
  ./usr/$libdir/cmake/kestrum8_map/kestrum8_mapTargets-release.cmake $(docs libkestrum8-map-dev)
# shellcheck disable=SC2046
expect_contents tools "$tools" ./usr/bin/mapsyms ./usr/bin/maptokens $(docs kestrum8-map-tools) \
  $(for page in mapsyms mapsyms-symbolize mapsyms-diff mapsyms-check mapsyms-export mapsyms-report mapsyms-usage maptokens; do
      echo ./usr/share/man/man1/$page.1.gz; done)
depends() { dpkg-deb -f "$1" Depends 2>/dev/null; }
has_dep() {  # NAME DEB TEXT
  case "$(depends "$2")" in *"$3"*) verdict "$1" 1 "" ;; *) verdict "$1" 0 "Depends: $(depends "$2")" ;; esac
}
has_dep dev_depends_runtime "$dev" "libkestrum8-map1 (= $version)"
has_dep tools_depend_runtime "$tools" "libkestrum8-map1 (= $version)"
has_dep runtime_depends_libc "$runtime" "libc6"
dpkg-deb --ctrl-tarfile "$runtime" | tar -xO ./shlibs >"$work/shlibs" 2>/dev/null
has_text runtime_shlibs "$work/shlibs" "libkestrum8_map 1 libkestrum8-map1"

root=$work/root
for deb in "$runtime" "$dev" "$tools"; do dpkg-deb -x "$deb" "$root"; done
"$root/usr/bin/mapsyms" "$sample" >"$work/out" 2>&1
same_file deb_mapsyms "$listing" "$work/out"
file "$root/usr/$libdir/libkestrum8_map.so.$version" >"$work/file"
has_text deb_library_stripped "$work/file" ", stripped"

# The Python package: the module with the library compiled in, for this Python.
python_deb=$work/packages/python3-kestrum8-map_${version}_$arch.deb
if [ -f "$python_deb" ]; then
  module_dir=./usr/lib/python3/dist-packages/kestrum8_map
  module=$(contents "$python_deb" | tr ' ' '\n' | grep '_core\..*\.so$')
  # shellcheck disable=SC2046
  dist_info=./usr/lib/python3/dist-packages/kestrum8_map-$version.dist-info
  expect_contents python "$python_deb" "$module_dir/__init__.py" "$module_dir/__init__.pyi" \
    "$module_dir/py.typed" "$module" "$dist_info/METADATA" "$dist_info/INSTALLER" \
    $(docs python3-kestrum8-map)
  has_dep python_depends_python "$python_deb" "python3 (>= "
  dpkg-deb -x "$python_deb" "$work/python_root"
  (cd "$work" && PYTHONPATH="$work/python_root/usr/lib/python3/dist-packages" /usr/bin/python3 -c "
import importlib.metadata, kestrum8_map as k8
print(len(k8.parse('$sample')), k8.__version__, importlib.metadata.version('kestrum8_map'))") >"$work/out" 2>&1
  printf '19 %s %s\n' "$version" "$version" >"$work/python.expected"
  same_file deb_python "$work/python.expected" "$work/out"
else
  verdict python_package 0 "cpack made no python3-kestrum8-map package"
fi

# lintian passes every package: no error, no warning.
lintian --tag-display-limit 0 "$runtime" "$dev" "$tools" ${python_deb:+"$python_deb"} >"$work/lintian" 2>&1
grep -v "running with root privileges" "$work/lintian" | grep -E "^(E|W): " >"$work/lintian_findings"
verdict lintian $([ ! -s "$work/lintian_findings" ] && echo 1 || echo 0) "$(cat "$work/lintian_findings")"
# The Debian package's pkg-config file states plain paths, which pkg-config leaves out.
grep -q '^prefix=/usr$' "$root/usr/$libdir/pkgconfig/kestrum8_map.pc"
verdict deb_pkg_config_plain $(( $? == 0 )) "$(head -3 "$root/usr/$libdir/pkgconfig/kestrum8_map.pc")"
flags=$(PKG_CONFIG_SYSROOT_DIR= PKG_CONFIG_PATH="$root/usr/$libdir/pkgconfig" pkg-config --cflags kestrum8_map)
verdict deb_pkg_config_cflags $([ -z "$flags" ] && echo 1 || echo 0) "cflags '$flags'"

tarball=$work/packages/kestrum8_map-$version-linux-$(uname -m).tar.gz
mkdir "$work/tgz" && tar -xzf "$tarball" -C "$work/tgz" 2>/dev/null
top=$(ls "$work/tgz")
verdict tgz_one_folder $([ "$top" = "kestrum8_map-$version-linux-$(uname -m)" ] && echo 1 || echo 0) "top: $top"
for file in README.md LICENSE CHANGELOG.md examples/sample.map examples/host.c share/man/man1/mapsyms.1.gz; do
  verdict "tgz_holds_$file" $([ -f "$work/tgz/$top/$file" ] && echo 1 || echo 0) "no $file"
done
(cd "$work/tgz/$top" && bin/mapsyms examples/sample.map) >"$work/out" 2>&1
same_file tgz_mapsyms "$listing" "$work/out"

finish
