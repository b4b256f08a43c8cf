#!/usr/bin/env bash
# Starts the window program under a virtual X display and saves a picture of
# its window: scripts/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
output="${2:-$root/docs/screenshot.png}"
program="$build/src/window/vondrel"
[ -x "$program" ] || { echo "no program at $program; build it first (scripts/build.sh)" >&2; exit 1; }
mkdir -p "$(dirname "$output")"

# The program starts in its own folder; a copy in a scratch folder beside a
# file named Data.mdb shows the window with a database selected.
top="$(mktemp -d)"
trap 'rm -rf "$top"' EXIT
scratch="$top/Tamberlo"
mkdir "$scratch"
cp "$program" "$scratch/vondrel"
printf 'placeholder' > "$scratch/Data.mdb"

xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb bash -c '
  "$1/vondrel" &
  app=$!
  sleep 3
  # Without a window manager the window has no frame: cut its client area
  # out of the whole screen at the place the window tree gives.
  import -window root "$2"
  geometry="$(xwininfo -root -tree | grep "\"Vondrel\"" | grep -o "[0-9]*x[0-9]*+[0-9]*+[0-9]*" | sort -t x -k1 -n | tail -1)"
  [ -n "$geometry" ] && convert "$2" -crop "$geometry" +repage "$2"
  kill "$app"
' _ "$scratch" "$output"
echo "saved $output"
