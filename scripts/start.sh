#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
exec "$root/build/src/window/vondrel"
