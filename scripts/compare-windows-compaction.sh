#!/usr/bin/env bash
# Compacts every sample database with the Linux and the Windows vondrel-jet
# and fails unless each pair of outputs is byte for byte the same (sha256):
#   scripts/compare-windows-compaction.sh LINUX_TOOL WINDOWS_TOOL.exe [SAMPLES]
# SAMPLES defaults to ../shared/jet-samples beside the checkout; without it
# the comparison is skipped. The Windows tool runs under Wine (x86-64 only,
# see wine-run.sh) in the prefix WINEPREFIX names, with one server for the
# whole comparison.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux_tool="$1"
windows_tool="$2"
samples="${3:-$root/../shared/jet-samples}"
if [ ! -d "$samples" ]; then
  echo "compare-windows-compaction.sh: no samples at $samples; skipped"
  exit 0
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
server="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
if [ -n "${WINEPREFIX:-}" ] && [ ! -d "$WINEPREFIX" ]; then
  timeout -k 10 180 "$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
fi
"$server" -p || true
timeout -k 10 120 "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
work="$(mktemp -d)"
trap '"$server" -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows"

# Wine now and then fails to start a program: exit 1, nothing printed (a
# program as small as a "hello" did so once in about 10,000 runs here). The
# tool prints a message with every failure, so such a run is made again once.
run_windows() {  # source destination
  local status=0
  "$root/scripts/wine-run.sh" "$windows_tool" compact "Z:$1" "Z:$2" >"$work/windows.out" 2>"$work/windows.err" ||
    status=$?
  if [ "$status" = 1 ] && [ ! -s "$work/windows.out" ] && [ ! -s "$work/windows.err" ] && [ ! -e "$2" ]; then
    echo "$(basename "$1"): Wine started nothing (exit 1, no output); run again" >&2
    status=0
    "$root/scripts/wine-run.sh" "$windows_tool" compact "Z:$1" "Z:$2" >"$work/windows.out" 2>"$work/windows.err" ||
      status=$?
  fi
  return "$status"
}

same=0
different=0
for source in "$samples"/*.mdb "$samples"/*.eap "$samples"/*.eapx; do
  [ -f "$source" ] || continue
  name="$(basename "$source")"
  linux_status=0
  windows_status=0
  "$linux_tool" compact "$source" "$work/linux/$name" >/dev/null 2>&1 || linux_status=$?
  run_windows "$source" "$work/windows/$name" || windows_status=$?
  linux_sum="$( [ -f "$work/linux/$name" ] && sha256sum <"$work/linux/$name" | cut -d' ' -f1 || echo none)"
  windows_sum="$( [ -f "$work/windows/$name" ] && sha256sum <"$work/windows/$name" | cut -d' ' -f1 || echo none)"
  if [ "$linux_status" = "$windows_status" ] && [ "$linux_sum" = "$windows_sum" ]; then
    same=$((same + 1))
  else
    different=$((different + 1))
    echo "$name: Linux exit $linux_status sha256 $linux_sum, Windows exit $windows_status sha256 $windows_sum" >&2
    sed 's/^/  Windows: /' "$work/windows.err" >&2
  fi
  rm -f "$work/linux/$name" "$work/windows/$name"
done
echo "compaction output identical on Linux and Windows: $same of $((same + different)) samples"
[ "$different" -eq 0 ] && [ "$same" -gt 0 ]
