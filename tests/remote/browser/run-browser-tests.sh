#!/bin/sh
# Runs the phone-page tests in the system's headless Chromium against remote_test_host.
#   run-browser-tests.sh HOST_BINARY WORK_DIR
# playwright-core is installed from the lock file into WORK_DIR (in the build tree) on first
# use; no browser is downloaded. Exits 77 (skipped) only when Chromium is not installed.
set -eu

host="$1"
work="$2"
here="$(cd "$(dirname "$0")" && pwd)"
chromium="${CHROMIUM:-/usr/bin/chromium}"

if [ ! -x "$chromium" ]; then
  echo "SKIP: $chromium not found (Debian package chromium, see scripts/install-deps.sh)"
  exit 77
fi

mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$here/remote_page.test.mjs" "$work/"
if [ ! -d "$work/node_modules/playwright-core" ] || ! cmp -s "$here/package-lock.json" "$work/.installed-lock.json"; then
  (cd "$work" && npm ci --ignore-scripts --no-audit --no-fund)
  cp "$here/package-lock.json" "$work/.installed-lock.json"
fi

cd "$work"
REMOTE_TEST_HOST="$host" CHROMIUM="$chromium" exec node --test-reporter=spec remote_page.test.mjs
