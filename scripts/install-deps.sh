#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages a build needs, quietly and only those that are missing.
# usage: install-deps.sh native|packages|python|all
# Exits non-zero, naming each package apt would not install and why, before anything is built.
set -eu
source "$(dirname "$0")/apt-agree.sh"
want=(cmake g++ make)
if [ "${1:-native}" = python ]; then
  # the Python package's wheel, built offline with Debian's Python, and a virtual environment
  want+=(python3-dev python3-venv python3-pybind11 pybind11-dev python3-build python3-setuptools
         python3-wheel)
fi
if [ "${1:-native}" = packages ]; then
  # the packages presets: the DLL and its import libraries, the Python module, the Debian packages
  want+=(g++-mingw-w64-i686 llvm dpkg-dev file python3-dev pybind11-dev)
fi
if [ "${1:-native}" = all ]; then
  want+=(libgtest-dev libbenchmark-dev g++-mingw-w64-i686 clang clang-format libclang-rt-14-dev
         valgrind mawk
         wine wine32:i386
         # packaging: import libraries, the MSVC-style host, Debian packages, pkg-config
         llvm lld dpkg-dev file pkg-config lintian man-db
         # the Python package: its module, wheel, virtual environments and tests
         python3-dev python3-venv python3-pybind11 pybind11-dev python3-build python3-setuptools
         python3-wheel python3-pytest python3-numpy python3-mypy
         # mapsyms export's judges: binutils for every machine, gdb, lldb, pyelftools, and
         # cross compilers for the firmware the tests build (little- and big-endian)
         binutils-multiarch gdb-multiarch lldb python3-pyelftools
         gcc-arm-none-eabi gcc-powerpc-linux-gnu
         # mapsyms report's pages, opened and driven in a real browser
         chromium)
fi
missing=()
for pkg in "${want[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
native=() foreign=()
for pkg in "${missing[@]}"; do
  case $pkg in *:i386) foreign+=("$pkg") ;; *) native+=("$pkg") ;; esac
done
[ ${#foreign[@]} -eq 0 ] || $sudo dpkg --add-architecture i386
apt_update_retrying
if [ ${#native[@]} -gt 0 ]; then
  install_agreeing "${native[@]}" || exit 1
fi
if [ ${#foreign[@]} -gt 0 ]; then
  install_agreeing "${foreign[@]}" || exit 1
fi
