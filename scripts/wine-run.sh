#!/usr/bin/env bash
# Runs one Windows program under wine64, quietly and with a time limit:
# scripts/wine-run.sh PROGRAM.exe [arguments...]
# wine64 given a 32-bit program prints nothing and exits 0, which a test
# runner would count as a pass: such programs are refused here instead.
# VONDREL_WINE_TIMEOUT (seconds, default 600) bounds each run.
set -euo pipefail
program="$1"
shift
machine="$(od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$program") + 4 ))" -N2 "$program" | tr -d ' \n')"
if [ "$machine" != "6486" ]; then
  echo "wine-run.sh: $program is not a 64-bit Windows program (machine $machine); wine64 cannot run it" >&2
  exit 126
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
exec timeout -k 10 "${VONDREL_WINE_TIMEOUT:-600}" "$wine" "$program" "$@" </dev/null
