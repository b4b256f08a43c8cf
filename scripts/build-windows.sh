#!/usr/bin/env bash
# Cross-builds Vondrel for Windows with MinGW-w64 after installing the cross
# compilers, Wine and zip, and packs the programs:
#   scripts/build-windows.sh [BUILD_ROOT] [extra cmake arguments...]
# Build trees: BUILD_ROOT/build-win64 (x86-64) and BUILD_ROOT/build-win32
# (i686, the shipped build, which runs on 32-bit and 64-bit Windows).
# Packages: BUILD_ROOT/dist/vondrel-1.0.0-win32.zip and -win64.zip, each with
# the programs (statically linked, stripped) and a short text on their use.
# VONDREL_WINDOWS_TARGETS (default: the programs) chooses what to build, e.g.
# "vondrel-jet platform_tests"; VONDREL_WINDOWS_ARCHES (default "win64 win32")
# which architectures. VONDREL_WINDOWS_INSTALL_ONLY=1 installs what is missing
# and stops there.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root}"
shift || true

packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 zip)
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
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix zip
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq wine wine64
fi
[ "${VONDREL_WINDOWS_INSTALL_ONLY:-}" = 1 ] && exit 0

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
version="$(sed -n 's/^project(Vondrel VERSION \([0-9]*\.[0-9]*\.[0-9]*\).*/\1/p' "$root/CMakeLists.txt")"
dist="$out/dist"
mkdir -p "$dist"

for arch in ${VONDREL_WINDOWS_ARCHES:-win64 win32}; do
  case "$arch" in
    win64) toolchain=x86_64 ;;
    win32) toolchain=i686 ;;
    *) echo "build-windows.sh: unknown architecture $arch" >&2; exit 2 ;;
  esac
  build="$out/build-$arch"
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DVONDREL_BENCH=OFF \
    "${launcher[@]}" "$@" >/dev/null
  programs=(vondrel vondrel-jet)
  cmake --build "$build" -j"$(nproc)" --target ${VONDREL_WINDOWS_TARGETS:-${programs[*]}}
  [ -n "${VONDREL_WINDOWS_TARGETS:-}" ] && continue

  stage="$build/package/vondrel-$version-$arch"
  rm -rf "$stage" && mkdir -p "$stage"
  for program in "${programs[@]}"; do
    built="$(find "$build" -name "$program.exe" -not -path '*/package/*' | head -1)"
    "$toolchain-w64-mingw32-strip" -o "$stage/$program.exe" "$built"
  done
  "$root/scripts/check-windows-imports.sh" "$stage"/*.exe
  sed 's/$/\r/' "$root/packaging/windows/README.txt" >"$stage/README.txt"
  rm -f "$dist/vondrel-$version-$arch.zip"
  (cd "$stage/.." && zip -q -X -r "$dist/vondrel-$version-$arch.zip" "vondrel-$version-$arch")
  echo "packed $dist/vondrel-$version-$arch.zip"
done
