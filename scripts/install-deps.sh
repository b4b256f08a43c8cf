#!/usr/bin/env bash
# Installs every Debian and npm package the build and the tests need, and only
# what is missing, so running it again costs a few seconds.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"

packages=(
  g++ cmake make pkg-config
  libgtest-dev libgmock-dev nlohmann-json3-dev
  dpkg-dev file lintian desktop-file-utils
  qt6-base-dev qt6-svg-dev libgl-dev
  mdbtools
  xvfb xauth imagemagick x11-utils
  clang libclang-rt-14-dev
  g++-multilib

)

# Node.js with npm comes with the machine image; Debian's own nodejs is the fallback.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# mdb-reader is the second independent reader the conformance tests compare against.
oracle="$here/tests/oracle"
# Exactly the versions the committed lock names; again whenever the lock changes.
if [ ! -d "$oracle/node_modules/mdb-reader" ] || [ "$oracle/package-lock.json" -nt "$oracle/node_modules/.package-lock.json" ]; then
  (cd "$oracle" && npm ci --no-audit --no-fund --silent)
fi
