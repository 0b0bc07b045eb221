#!/usr/bin/env bash
# Installs the Debian packages Vireon needs, section by section:
#   install-deps.sh               the program: build it and run it (./run.sh)
#   install-deps.sh --tests       the program and the tools of the tests, benchmarks and
#                                 package checks (./test.sh)
#   install-deps.sh --list NAME   prints one section (build, runtime or tests), a package a line;
#                                 the Debian package depends on the runtime section
# Idempotent: asks dpkg first and touches apt only when something is missing.
set -euo pipefail

# Building the program: toolchain and the libraries' development files.
BUILD=(
  # toolchain
  build-essential cmake pkg-config
  # Qt 6 (Core, Gui, Network, Qml, Quick, QuickControls2)
  qt6-base-dev qt6-declarative-dev libgl-dev
  # audio back end; drift compensation of the inputs (libswresample)
  libsdl2-dev libswresample-dev
  # cameras (V4L2 through libv4l2)
  libv4l-dev
  # video encoding (FFmpeg libraries)
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  # graphics adapter names for the hardware report
  libpci-dev
  # remote control: QR code of the server address
  libqrcodegencpp-dev
)

# Running the program: what it loads without linking it, so dpkg-shlibdeps cannot find it.
RUNTIME=(
  # the QML modules the interface imports
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-controls
  qml6-module-qtquick-templates qml6-module-qtquick-layouts qml6-module-qtquick-dialogs
  qml6-module-qt-labs-settings qml6-module-qtcore
  # fonts for the interface texts and glyphs (the emoji font draws the header and status icons)
  fonts-dejavu-core fonts-noto-color-emoji
)

# Tests, benchmarks and package checks (./test.sh); a user who only records needs none of them.
TESTS=(
  # QML test cases
  qml6-module-qttest
  # the ffmpeg/ffprobe tools of the benchmarks and for checking recordings by hand
  ffmpeg
  # phone page in headless Chromium; zbarimg reads the QR code back
  chromium zbar-tools
  # Windows layers: cross-compiled with mingw-w64 and their tests run under Wine
  g++-mingw-w64-x86-64 wine wine64
  # the installation test validates the desktop entry
  desktop-file-utils
  # the Debian package: dependencies (dpkg-shlibdeps, which needs file) and lintian
  dpkg-dev file lintian
  # the Windows installer script is compiled with makensis; the CI workflow is parsed as YAML
  nsis python3-yaml
)
# The browser tests run on Node.js with npm; a machine that already has both (from any
# source) keeps them, Debian's packages bring them otherwise.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  TESTS+=(nodejs npm)
fi

PACKAGES=("${BUILD[@]}" "${RUNTIME[@]}")
case "${1:-}" in
  "") ;;
  --tests) PACKAGES+=("${TESTS[@]}") ;;
  --list)
    case "${2:-}" in
      build) printf '%s\n' "${BUILD[@]}" ;;
      runtime) printf '%s\n' "${RUNTIME[@]}" ;;
      tests) printf '%s\n' "${TESTS[@]}" ;;
      *) echo "usage: $0 --list build|runtime|tests" >&2; exit 2 ;;
    esac
    exit 0 ;;
  *) echo "usage: $0 [--tests | --list build|runtime|tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "[install-deps] installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
