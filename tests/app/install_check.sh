#!/usr/bin/env bash
# Installs the build into a throw-away prefix and runs the installed program: the files land
# in the freedesktop places, the program reads its manuals from the data folder and writes
# its log to the per-user data folder, never beside the installed executable.
#   install_check.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/vireon share/vireon/GETTING_STARTED_EN.md share/vireon/GETTING_STARTED_SR.md \
         share/applications/vireon.desktop share/icons/hicolor/256x256/apps/vireon.png; do
  [ -s "$prefix/$f" ] || fail "$f was not installed"
done
grep -qx 'Exec=vireon' "$prefix/share/applications/vireon.desktop" || fail "desktop entry does not start vireon"
grep -qx 'Icon=vireon' "$prefix/share/applications/vireon.desktop" || fail "desktop entry does not name the icon"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/vireon.desktop" || fail "desktop entry is not valid"
fi

# A user of their own, with no update check at start-up.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/Vireon"
printf '[Updates]\nautoCheckOnStartup=false\n' > "$XDG_CONFIG_HOME/Vireon/Vireon.conf"

QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
  "$prefix/bin/vireon" --headless --demo --record 1 --port $((20000 + RANDOM % 20000)) --output "$work/takes" >/dev/null \
  || fail "the installed program did not record a take"

log=$XDG_DATA_HOME/Vireon/Vireon/qt_log.txt
[ -s "$log" ] || fail "no log in the per-user data folder ($log)"
[ ! -e "$prefix/bin/qt_log.txt" ] || fail "the installed program wrote its log beside the executable"
[ "$(find "$XDG_DATA_HOME" -name qt_log.txt | wc -l)" -eq 1 ] || fail "the log is split over several files: $(find "$XDG_DATA_HOME" -name qt_log.txt)"
head -1 "$log" | grep -qx '\[Vireon\] Engine initialized successfully.' || fail "the log does not begin with the start-up line"
grep -qF "[Vireon] User manual: $prefix/share/vireon/GETTING_STARTED_EN.md" "$log" \
  || fail "the installed program does not read its manuals from $prefix/share/vireon: $(grep 'User manual' "$log")"
ls "$work"/takes/*/Take_01/*.mp4 >/dev/null 2>&1 || fail "no camera file in the take"
echo "install layout OK"
