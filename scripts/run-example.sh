#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The main job: build the library and mapsyms, then print the symbols of the bundled example.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh native
cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release -DK8MAP_TESTS=OFF >/dev/null
cmake --build build/run -j"$(nproc)" --target mapsyms kestrum8_map >/dev/null
build/run/bin/mapsyms examples/sample.map
