#!/bin/sh
# Preview cost of the interface: headless reference, windowed, windowed with a take; 20 s each.
#   bench/ui_benchmark.sh [build-dir] [seconds]
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
seconds=${2:-20}
cmake --build "$build" -j2 --target bench_ui
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy QT_LOGGING_RULES='qt.qpa.*=false'
run() { "$build/bench/bench_ui" "$seconds" "$@" 2>/dev/null; }
echo "== load before: $(uptime)"
h=$(run --headless); echo "$h"
w=$(run); echo "$w"
r=$(run --record); echo "$r"
echo "== load after: $(uptime)"
cpu() { echo "$1" | sed -n 's/^cpu_percent_one_core: //p'; }
awk -v h="$(cpu "$h")" -v w="$(cpu "$w")" -v r="$(cpu "$r")" 'BEGIN {
  printf "windowed - headless: %.1f %% of one core (target <= 60)\n", w - h
  printf "windowed+record - headless: %.1f %% of one core\n", r - h }'
