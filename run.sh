#!/usr/bin/env bash
# Installs what the program needs, builds the program alone and starts it. Arguments go to
# the program, for example: ./run.sh --headless, ./run.sh --output ~/Takes --session Interview
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh vireon
exec ./build/vireon "$@"
