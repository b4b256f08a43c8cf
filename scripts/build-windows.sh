#!/usr/bin/env bash
# Cross-builds the engine for Windows with MinGW-w64 (x86-64 and i686), after
# installing the cross compilers and Wine: scripts/build-windows.sh [BUILD_ROOT]
# Build trees: BUILD_ROOT/build-win64 and BUILD_ROOT/build-win32.
#
# Built today: the engine libraries (jet_io up to jet_dao). The platform
# layer's host file system, the tool's Jet 3 text conversion (iconv) and the
# shared test support (fork, mount, wait) have no Win32 form yet, so neither
# vondrel-jet.exe nor the test suites build for Windows.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root}"
shift || true

packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  # Wine needs its recommended packages; the compilers do not.
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends \
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq wine wine64
fi

for arch in x86_64:win64 i686:win32; do
  toolchain="${arch%%:*}"
  build="$out/build-${arch##*:}"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVONDREL_GUI=OFF -DVONDREL_BENCH=OFF "$@" >/dev/null
  cmake --build "$build" -j"$(nproc)" --target jet_dao
done
