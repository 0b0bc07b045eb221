#!/usr/bin/env bash
# Builds the Debian package from the build tree with CPack, checks it with lintian, unpacks it
# into a throw-away root and runs the program from there: --version and a two-second take.
#   debian_package_check.sh BUILD_DIR DISPLAY_VERSION
set -euo pipefail
build=$1
display_version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The beta's version sorts before the release's, so installing the release upgrades it.
debian_version=$(sed -E 's/^([0-9.]+)([a-z]+)$/\1~\2/' <<<"$display_version")
dpkg --compare-versions "$debian_version" lt "${display_version%%[a-z]*}" \
  || fail "$debian_version does not sort before ${display_version%%[a-z]*}"
deb=$work/pkg/vireon_${debian_version}_$(dpkg --print-architecture).deb

cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
[ -f "$deb" ] || fail "expected $(basename "$deb"), got: $(ls "$work/pkg")"

# Every dependency, the computed libraries and the QML modules alike, is satisfied by a
# package installed here: a misspelt or unavailable name would make the package uninstallable.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6quick6 libsdl2 libavcodec libswscale qml6-module-qtquick-controls; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
IFS=',' read -ra relations <<<"$depends"
for relation in "${relations[@]}"; do
  satisfied=false
  IFS='|' read -ra alternatives <<<"$relation"
  for alternative in "${alternatives[@]}"; do
    read -r name op version <<<"$(tr -d '()' <<<"$alternative")"
    installed=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || continue
    if [ -z "${op:-}" ] || dpkg --compare-versions "$installed" "$op" "$version"; then satisfied=true; fi
  done
  $satisfied || fail "dependency not satisfiable here: $relation"
done

lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 \
  || { cat "$work/lintian.log"; fail "lintian reports errors"; }
grep -v '^running with root' "$work/lintian.log" || true

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/vireon usr/share/applications/vireon.desktop usr/share/icons/hicolor/256x256/apps/vireon.png \
         usr/share/vireon/GETTING_STARTED_EN.md usr/share/vireon/GETTING_STARTED_SR.md \
         usr/share/man/man1/vireon.1.gz usr/share/doc/vireon/copyright usr/share/doc/vireon/changelog.gz; do
  [ -s "$root/$f" ] || fail "$f is not in the package"
done

# The manual page describes every option that --help lists (both come from the same text).
help_options=$("$root/usr/bin/vireon" --help | grep -oE -- '--[a-z-]+' | sort -u)
man_options=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/vireon.1.gz" 2>/dev/null | grep -oE -- '--[a-z-]+' | sort -u)
[ "$help_options" = "$man_options" ] || fail "manual page options ($man_options) differ from --help ($help_options)"

version=$("$root/usr/bin/vireon" --version)
[ "$version" = "Vireon $display_version" ] || fail "installed vireon --version says '$version'"

# A user of its own with no update check at start-up, a free port, a folder for the take.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/Vireon"
printf '[Updates]\nautoCheckOnStartup=false\n' >"$XDG_CONFIG_HOME/Vireon/Vireon.conf"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printed=$(QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy \
          "$root/usr/bin/vireon" --headless --demo --record 2 --port "$port" --output "$work/takes" 2>"$work/run.log") \
  || { tail -20 "$work/run.log"; fail "the packaged program did not record a take"; }
# The take folder is the last line printed.
take=$(tail -n 1 <<<"$printed")
[ -d "$take" ] || fail "the program printed '$take', not a take folder"
for f in Camera_01.mp4 Camera_04.mp4 Master_Audio_Output.wav; do
  [ -s "$take/$f" ] || fail "$f missing from the take $take"
done
grep -qF "User manual: $root/usr/share/vireon/GETTING_STARTED_EN.md" "$XDG_DATA_HOME/Vireon/Vireon/qt_log.txt" \
  || fail "the packaged program does not read its manuals from its own share/vireon"
echo "package $(basename "$deb") OK"
