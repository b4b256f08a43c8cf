#!/usr/bin/env bash
# Builds the Debian package vondrel_1.0.0_<arch>.deb in a build tree and
# prints its path: scripts/package-deb.sh [BUILD_DIR]
# An existing build tree (the test build, in CI) is packaged as it is built;
# a new one is configured as a release build with Debian's hardening flags.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-deb}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVONDREL_TESTS=OFF -DVONDREL_BENCH=OFF >/dev/null
fi
# CPack runs the tree's install rules, which want every target built.
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/vondrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/vondrel_*.deb
