#!/usr/bin/env bash
# Installs what is missing, the test tools included, builds Vireon with its tests and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh --tests
./scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy ctest --output-on-failure -j2 "$@"
