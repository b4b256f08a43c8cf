#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build tree of their own and runs
# them over a seed corpus made from the small sample databases (an empty corpus
# when the samples are absent), side by side: the reader's for BUDGET_SECONDS, compaction's
# (whose output our checker must find sound) for COMPACT_SECONDS, 30 unless
# given (0 builds it without running it). Fails when a fuzzer finds a crash, a sanitizer report, a timeout or
# runaway memory.
#
#   scripts/fuzz.sh BUDGET_SECONDS [BUILD_DIR]     (env COMPACT_SECONDS)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
budget="${1:-60}"
build="${2:-$root/build-fuzz}"
case "$budget" in
  ''|*[!0-9]*) echo "usage: scripts/fuzz.sh BUDGET_SECONDS [BUILD_DIR]" >&2; exit 2 ;;
esac
compact_budget="${COMPACT_SECONDS:-30}"
samples="${VONDREL_SAMPLES:-$root/../shared/jet-samples}"

# Coverage instrumentation and sanitizers for every library, not only the
# target's own file, so the fuzzer sees and checks the reader's code. A unity
# build (a few files merged to a unit) compiles in two thirds of the time.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON \
  -DVONDREL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DVONDREL_GUI=OFF -DVONDREL_TESTS=OFF -DVONDREL_WERROR=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
  >/dev/null
cmake --build "$build" -j"$(nproc)" --target jet_reader_fuzz jet_compact_fuzz

seeds="$build/fuzz-seeds"
work="$build/fuzz-corpus"
artifacts="$build/fuzz-artifacts"
rm -rf "$seeds"
mkdir -p "$seeds" "$work" "$artifacts"
max_len=131072
if [ -d "$samples" ]; then
  # Small files only: each run of the target reads the whole input.
  find "$samples" -maxdepth 1 -type f \( -name '*.mdb' -o -name '*.eap' -o -name '*.eapx' \) \
    -size -$((max_len / 1024 + 1))k -exec cp {} "$seeds/" \;
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
run() {  # target seconds
  echo "fuzzing $1 for ${2}s with $(find "$seeds" -type f | wc -l) seed files"
  mkdir -p "$work/$1"
  "$build/fuzz/$1" \
    -max_total_time="$2" -max_len="$max_len" -timeout=20 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/$1-" -print_final_stats=1 \
    "$work/$1" "$seeds"
}
# The two targets at once, one a core: the reader's output goes to a log that
# is shown when it ends.
reader_log="$build/jet_reader_fuzz.log"
run jet_reader_fuzz "$budget" >"$reader_log" 2>&1 &
reader=$!
status=0
if [ "$compact_budget" -gt 0 ]; then run jet_compact_fuzz "$compact_budget" || status=$?; fi
wait "$reader" || status=$?
tail -n 40 "$reader_log"
exit "$status"
