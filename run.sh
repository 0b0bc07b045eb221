#!/usr/bin/env bash
# Installs what is missing, builds Vireon and starts it. Arguments go to the program,
# for example: ./run.sh --headless, ./run.sh --output ~/Takes --session Interview
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
./scripts/build.sh
exec ./build/vireon "$@"
