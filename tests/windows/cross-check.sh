#!/usr/bin/env bash
# Cross-compiles the Qt-free Windows layers and their checks with mingw-w64 (static .exe) and
# runs the checks under Wine in a throwaway prefix inside the build tree.
# Usage: cross-check.sh SOURCE_ROOT BUILD_DIR. Exit 77 (a skip for ctest) when Wine is missing.
set -euo pipefail
source_root=$1
build_dir=$2

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  cmake -S "$source_root/tests/windows/cross" -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$source_root/cmake/WindowsMingw64Toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
fi
cmake --build "$build_dir" --parallel 2

exe="$build_dir/windows_layers_check.exe"
if ! command -v wine >/dev/null 2>&1; then
  echo "Built $exe; Wine is not installed, so the checks were not run."
  exit 77
fi

# A prefix of its own, no display, no Mono/Gecko installer prompts, Wine's own messages off.
# The first start creates the prefix, which takes up to a minute.
export WINEPREFIX="$build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # Its complaints (no 32-bit part, no display) concern nothing the checks use.
  timeout --kill-after=10 240 wineboot --init >/dev/null 2>&1 || true
fi
status=0
timeout --kill-after=10 300 wine "$exe" || status=$?
# Leave no Wine server behind for this prefix.
wineserver -k >/dev/null 2>&1 || true
if [ "$status" -eq 124 ]; then
  echo "The checks did not finish within 300 s under Wine."
fi
exit "$status"
