#!/usr/bin/env bash
# Configures and builds the tree in ./build:
#   build.sh            everything: the program, its tests, the benchmarks and the manual page
#   build.sh TARGET...  only those targets and what they need, e.g. build.sh vireon (./run.sh)
# Both share one configuration, so switching between them rebuilds nothing twice.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
elif [ $# -eq 0 ]; then
  # Configured by ./run.sh before the test tools were installed: look again, or the tests
  # that need a tool found at configure time (the mingw-w64 cross compiler) would be missing.
  cmake -S . -B build >/dev/null
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build build -j"$(nproc)" "${targets[@]}"
