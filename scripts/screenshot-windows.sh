#!/usr/bin/env bash
# Pictures of the Win32 window and of its two kinds of message, taken under
# Xvfb and Wine in a Wine desktop (which draws title bars):
#   scripts/screenshot-windows.sh [WIN64_BUILD_DIR] [OUTPUT_DIR]
# Build the target show_window of a MinGW x86-64 build first. VONDREL_SHOTS
# (e.g. "error:screenshot-windows-error.png") takes only the pictures named.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-win64}"
out="${2:-$root/docs}"
program="$build/tests/window_win32/show_window.exe"
[ -f "$program" ] || { echo "no program at $program; build the target show_window first" >&2; exit 1; }
mkdir -p "$out"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"

# One picture per mode: the window, then a successful and a failed repair's message over it.
for shot in ${VONDREL_SHOTS:-window:screenshot-windows.png success:screenshot-windows-success.png error:screenshot-windows-error.png}; do
  mode="${shot%%:*}"
  file="$out/${shot#*:}"
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    timeout -k 5 40 "$1" explorer /desktop=vondrel,1024x768 "$2" "$3" 12 </dev/null >/dev/null 2>&1 &
    sleep 8
    import -window root "$4"
    wait || true
  ' _ "$wine" "$program" "$mode" "$file"
  # The window is centred on the 1024 x 768 desktop: keep the middle of it.
  convert "$file" -crop 640x440+192+164 +repage "$file"
  echo "saved $file"
done
