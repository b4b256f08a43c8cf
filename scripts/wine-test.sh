#!/usr/bin/env bash
# Runs a Windows build's test suites under Wine (x86-64):
#   scripts/wine-test.sh BUILD_DIR [ctest arguments...]
# One Wine server and prefix for the whole run (BUILD_DIR/wine-prefix), with
# Wine's own background processes started before any test: started later by
# a test, they would inherit its output pipe, and CTest would wait forever
# for that pipe to close. Every program runs through scripts/wine-run.sh
# (quiet, time-limited, 32-bit programs refused).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
shift

export WINEPREFIX="$build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
server="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
if [ ! -d "$WINEPREFIX" ]; then
  timeout -k 10 180 "$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
fi
# Fails when a server for the prefix already runs (wineboot may leave one), which serves as well.
"$server" -p || true
stop() { "$server" -k 2>/dev/null || true; }
trap stop EXIT
timeout -k 10 120 "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
# Wine's desktop process, started by the first program to open a window and
# ended after the last, would otherwise start within window tests and keep
# their output pipes open. A hidden window held for the whole run keeps one
# desktop process, started here.
holder="$build/tests/window_win32/hold_desktop.exe"
if [ -f "$holder" ]; then
  held="$(mktemp)"
  VONDREL_WINE_TIMEOUT=3600 "$root/scripts/wine-run.sh" "$holder" >"$held" 2>&1 </dev/null &
  holding=$!
  for _ in $(seq 120); do
    grep -q ready "$held" && break
    kill -0 "$holding" 2>/dev/null || break  # no window (no display, say): the tests go on without it
    sleep 0.5
  done
  rm -f "$held"
fi

cd "$build"
ctest --output-on-failure "$@"
