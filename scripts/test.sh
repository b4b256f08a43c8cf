#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite:
# a normal build, a 32-bit build of the engine and its tests, Windows builds
# (run under Wine), a Debian package of the normal build checked installed, an
# AddressSanitizer + UndefinedBehaviorSanitizer build run with the reading
# check, and a short run of the reader's and compaction's fuzz targets.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"

jobs="$(nproc)"
# Each step's heading carries the minutes and seconds since the start, so that
# a slow run shows where its time went.
step() { printf '== %s (at %dm%02ds)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }
# The suites built for Windows and run under Wine.
windows_suites="base_tests platform_tests jet_io_tests jet_format_tests jet_read_tests jet_check_tests jet_write_tests
  jet_compact_tests tool_tests repair_tests window_win32_tests"
export QT_QPA_PLATFORM=offscreen
# The normal build compiles each file on its own, which shows a file that
# leans on another's includes. The other builds compile the same files for
# what their target or sanitizer changes, merged a few files to a unit
# (CMake's unity build), which takes 40% less time.
unity=-DCMAKE_UNITY_BUILD=ON

step "normal build"
# Meanwhile the cross compilers and Wine for the Windows builds are installed:
# downloading and unpacking them leaves the processors to the build.
windows_install_log="$(mktemp)"
VONDREL_WINDOWS_INSTALL_ONLY=1 "$root/scripts/build-windows.sh" >"$windows_install_log" 2>&1 &
windows_install=$!
"$root/scripts/build.sh" "$root/build" -DVONDREL_WERROR=ON
(cd "$root/build" && ctest --output-on-failure -j"$jobs")

step "32-bit build"
# 32-bit sizes, offsets and address space (g++ -m32; GoogleTest built from
# Debian's sources for it): the engine and its suites.
build32="$root/build32"
# No debug information, and -O1: this build is here for what 32 bits change,
# and -O2 takes half as long again to compile for nothing it finds.
cmake -S "$root" -B "$build32" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DNDEBUG" \
  -DVONDREL_GUI=OFF -DVONDREL_BENCH=OFF -DVONDREL_WERROR=ON "$unity" \
  "-DCMAKE_CXX_FLAGS=-m32 -D_FILE_OFFSET_BITS=64" -DCMAKE_C_FLAGS=-m32 -DCMAKE_EXE_LINKER_FLAGS=-m32 \
  -DVONDREL_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$build32" -j"$jobs" --target jet_io_tests jet_format_tests jet_read_tests jet_check_tests jet_write_tests jet_compact_tests
# Suites not built here register one placeholder test each, and the
# generators' tests (sort-code tables, logo) need programs not built here:
# both are left out. So are the tests that hold our output against mdbtools
# and mdb-reader, as in the sanitizer build below: their time goes to those
# tools, the normal build runs them, and the engine they drive compacts and
# reads every sample in the other tests here too.
(cd "$build32" && ctest --output-on-failure -j"$jobs" \
  -E '_NOT_BUILT|SortCodeTables|Logo\.|Conformance|MdbReaderCompacted|MdbExportShows')

step "Windows build"
if ! wait "$windows_install"; then
  cat "$windows_install_log" >&2
  echo "test.sh: installing the Windows cross compilers and Wine failed" >&2
  exit 1
fi
rm -f "$windows_install_log"
# MinGW-w64 cross builds: x86-64 builds the tool and every suite that runs no
# Linux program and runs them under Wine; the tool's compaction of each
# sample is held against the Linux build's; then both architectures' programs
# are built, their import tables checked and the zips packed (wine64 cannot
# run the i686 programs here).
VONDREL_WINDOWS_ARCHES=win64 VONDREL_WINDOWS_TARGETS="vondrel-jet $windows_suites" \
  "$root/scripts/build-windows.sh" "$root" -DVONDREL_WERROR=ON "$unity"
step "Windows suites under Wine"
# One X screen for the whole run: the window's tests open windows. A test is
# run a second time only when it fails: Wine's client once lost its server
# connection in the middle of a test ("recvmsg: Connection reset by peer").
xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/wine-test.sh" "$root/build-win64" -j"$jobs" -E '_NOT_BUILT' \
  --repeat until-pass:2
WINEPREFIX="$root/build-win64/wine-prefix" "$root/scripts/compare-windows-compaction.sh" \
  "$root/build/tools/vondrel-jet" "$root/build-win64/tools/vondrel-jet.exe"
step "Windows programs of both architectures"
"$root/scripts/build-windows.sh" "$root" -DVONDREL_WERROR=ON "$unity"

step "Debian package"
# Packaged from the normal build; installed, tried, checked and removed again.
"$root/scripts/package-deb.sh" "$root/build"
"$root/scripts/check-deb.sh" "$root/build"

step "sanitizer build"
# The benchmarks are built and checked by the normal build only.
# Line tables are all the sanitizer's reports need (-g1), and much cheaper to build.
# (-O1 compiles faster but runs the suites slower: a trial showed no clear gain.)
"$root/scripts/build.sh" "$root/build-asan" -DVONDREL_SANITIZE=ON -DVONDREL_BENCH=OFF -DVONDREL_WERROR=ON "$unity" \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The tests that hold our output against mdbtools and mdb-reader spend their
# time in those tools, which are not ours to sanitize; the engine they drive
# compacts and reads every sample in the other tests here too.
# With the reading check: the source read through the smallest windows, one
# kept unless held, and every window let go made unreadable, so that a view
# used past its lifetime faults and the sanitizer reports where.
(cd "$root/build-asan" && VONDREL_READ_CHECK=1 ctest --output-on-failure -j"$jobs" -E 'Conformance|MdbReaderCompacted|MdbExportShows')

if [ -x "$root/scripts/fuzz.sh" ]; then
  step "fuzzing"
  # The reader's target and the compaction target, whose every salvaged
  # output our checker must find sound, 30 seconds each, side by side: CI
  # runs close to its 30 minutes, and longer runs are made apart from it.
  COMPACT_SECONDS=30 "$root/scripts/fuzz.sh" 30
fi
step "done"
