#!/usr/bin/env bash
# Installs the Debian packages Vireon needs to build, run and test.
# Idempotent: asks dpkg first and touches apt only when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake pkg-config
  # Qt 6 (Core, Gui, Network, Qml, Quick, QuickControls2) and the QML modules the interface imports
  qt6-base-dev qt6-declarative-dev qt6-qpa-plugins libgl-dev
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick qml6-module-qtquick-window qml6-module-qtquick-controls
  qml6-module-qtquick-templates qml6-module-qtquick-layouts qml6-module-qtquick-dialogs
  qml6-module-qt-labs-settings qml6-module-qtcore qml6-module-qttest
  # audio back end; drift compensation of the inputs (libswresample)
  libsdl2-dev libswresample-dev
  # cameras (V4L2 through libv4l2)
  libv4l-dev
  # video encoding (FFmpeg libraries; the ffmpeg/ffprobe tools for tests and benchmarks)
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  # graphics adapter names for the hardware report
  libpci-dev
  # fonts for the interface texts and glyphs (the emoji font draws the header and status icons)
  fonts-dejavu-core fonts-noto-color-emoji
  # remote control: QR code of the server address; headless Chromium drives the phone page
  # and zbarimg reads the QR code back in the tests
  libqrcodegencpp-dev chromium zbar-tools
  # Windows layers: cross-compiled with mingw-w64 and their tests run under Wine
  g++-mingw-w64-x86-64 wine wine64
  # the installation test validates the desktop entry
  desktop-file-utils
)
# The browser tests run on Node.js with npm; a machine that already has both (from any
# source) keeps them, Debian's packages bring them otherwise.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  PACKAGES+=(nodejs npm)
fi

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
