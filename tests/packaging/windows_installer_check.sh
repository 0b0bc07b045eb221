#!/usr/bin/env bash
# Builds the Windows installer from this build tree's install rules with CPack's NSIS
# generator and makensis (the payload is the Linux build; on Windows the CI workflow packs the
# Windows build with the same configuration). Under Wine it then installs silently, as an
# administrator would, and uninstalls again: program folder in Program Files, Start-menu
# entries, the uninstaller and its Apps & features entry, and that removal leaves none behind.
#   windows_installer_check.sh BUILD_DIR
# Exit 77 (a skip for ctest) when Wine is missing and so only the compilation was checked.
set -euo pipefail
build=$1
work=$(mktemp -d)
fail() { echo "FAIL: $*" >&2; exit 1; }

command -v makensis >/dev/null || fail "makensis not found: scripts/install-deps.sh --tests installs nsis"
# Wine without its 32-bit half runs only 64-bit programs: build the installer for x86-64
# (Debian's NSIS has those stubs; the Windows workflow uses NSIS's default x86 ones).
cpack -G NSIS -B "$work/nsis" --config "$build/CPackConfig.cmake" -D "CPACK_NSIS_DEFINES=Target amd64-unicode" \
  >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" "$work"/nsis/_CPack_Packages/*/NSIS/NSISOutput.log; fail "cpack -G NSIS failed"; }
# The update manager saves its download under this name and starts it.
installer=$work/nsis/Vireon_Setup_Update.exe
[ -f "$installer" ] || fail "expected Vireon_Setup_Update.exe, got: $(ls "$work/nsis")"

if ! command -v wine >/dev/null; then
  echo "Built $installer; Wine is not installed, so it was not run."
  rm -rf "$work"
  exit 77
fi

# A prefix and a home of their own; no menu entries in the real desktop, no Mono/Gecko prompts.
export WINEPREFIX=$work/wineprefix HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" DISPLAY=
cleanup() { wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$HOME"
timeout --kill-after=10 240 wineboot --init >/dev/null 2>&1 || true

program_dir="$WINEPREFIX/drive_c/Program Files/Vireon"
menu_dir="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vireon"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vireon'

timeout --kill-after=10 120 wine "$installer" /S || fail "the installer failed"
for f in "$program_dir/bin/vireon" "$program_dir/share/vireon/GETTING_STARTED_EN.md" "$program_dir/Uninstall.exe" \
         "$menu_dir/Vireon.lnk" "$menu_dir/Uninstall.lnk"; do
  [ -e "$f" ] || fail "${f#"$WINEPREFIX/"} not installed"
done
wine reg query "$uninstall_key" /v UninstallString 2>/dev/null | grep -qF 'C:\Program Files\Vireon\Uninstall.exe' \
  || fail "no uninstall entry in Apps & features"

# The uninstaller copies itself to the temporary folder and returns at once; wait for it.
timeout --kill-after=10 60 wine 'C:\Program Files\Vireon\Uninstall.exe' /S || fail "the uninstaller failed"
for _ in $(seq 60); do
  [ -e "$program_dir" ] || [ -e "$menu_dir" ] || break
  sleep 1
done
[ ! -e "$program_dir" ] || fail "the uninstaller left $(find "$program_dir" | head -5)"
[ ! -e "$menu_dir" ] || fail "the uninstaller left the Start-menu folder"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller left its Apps & features entry"; fi
echo "installer installed to Program Files and uninstalled cleanly"
