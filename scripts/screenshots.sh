#!/bin/sh
# Pictures of the main window, offscreen, with the built-in cameras on 0, 1, 3 and 4 channels,
# idle and recording, in English and Serbian; then the dialogs over the window, the help window
# (with and without its manual) and the performance monitor (idle and recording), in both
# languages.
#   scripts/screenshots.sh [OUTPUT_DIR]   (default: build-screens/shots)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$root/build-screens}"
out="${1:-$build/shots}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target vireon_screenshot
mkdir -p "$out"

export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy QT_LOGGING_RULES='qt.qpa.*=false'
for lang in EN SR; do
  for state in idle recording; do
    for n in 0 1 3 4; do
      file="$out/main_${n}ch_${state}_${lang}.png"
      "$build/tools/vireon_screenshot" --channels "$n" --state "$state" --language "$lang" --output "$file"
      echo "$file"
    done
  done
done

# The main window's dialogs over two channels: source (add and edit), remote control (with and
# without the access key), update offered and update downloading.
for lang in EN SR; do
  for overlay in source source-edit remote remote-open update update-download; do
    file="$out/overlay_${overlay}_${lang}.png"
    "$build/tools/vireon_screenshot" --channels 2 --language "$lang" --overlay "$overlay" --output "$file"
    echo "$file"
  done
done

for lang in EN SR; do
  for window in help help-missing; do
    file="$out/${window}_${lang}.png"
    "$build/tools/vireon_screenshot" --window "$window" --channels 0 --language "$lang" --output "$file"
    echo "$file"
  done
  for state in idle recording; do
    file="$out/monitor_${state}_${lang}.png"
    "$build/tools/vireon_screenshot" --window monitor --channels 2 --state "$state" --language "$lang" --output "$file"
    echo "$file"
  done
done

# The settings window: each page in both languages; the recording page also scrolled to its
# end with the advanced grid open and a benchmark result.
for lang in EN SR; do
  for page in 0 1 2 3; do
    file="$out/settings_page${page}_${lang}.png"
    "$build/tools/vireon_screenshot" --window settings --page "$page" --language "$lang" --output "$file"
    echo "$file"
  done
  file="$out/settings_page0_end_${lang}.png"
  "$build/tools/vireon_screenshot" --window settings --page 0 --scroll 100000 --advanced --benchmark \
    --language "$lang" --output "$file"
  echo "$file"
done
