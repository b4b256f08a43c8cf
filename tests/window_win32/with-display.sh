#!/usr/bin/env bash
# Runs a command with an X display for the windows it opens: the one in
# DISPLAY, else a fresh Xvfb screen of 1024 x 768 for this command alone.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" "$@"
