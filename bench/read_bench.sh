#!/usr/bin/env bash
# Read speed side by side: `vondrel-jet export` of every table of the largest
# sample databases against mdb-export of the same tables, in one run.
#
#   bench/read_bench.sh [VONDREL_JET] [COUNT]
#     VONDREL_JET  the built tool (default build/tools/vondrel-jet)
#     COUNT        how many of the largest samples (default 6)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tool="${1:-$root/build/tools/vondrel-jet}"
count="${2:-6}"
samples="${VONDREL_SAMPLES:-$root/../shared/jet-samples}"
[ -x "$tool" ] || { echo "no vondrel-jet at $tool" >&2; exit 2; }
[ -d "$samples" ] || { echo "no samples at $samples" >&2; exit 2; }
command -v mdb-export >/dev/null || { echo "mdb-export is not installed" >&2; exit 2; }

now() { date +%s.%N; }
opts=(-b hex -D '%Y-%m-%d %H:%M:%S' -T '%Y-%m-%d %H:%M:%S')
printf '%-40s %7s %9s %11s %11s %7s\n' file tables "MiB out" "vondrel s" "mdb-export s" ratio
total_ours=0; total_theirs=0
while IFS= read -r file; do
  mapfile -t tables < <(mdb-tables -1 -S "$file")
  [ "${#tables[@]}" -gt 0 ] || continue
  bytes=0
  start=$(now)
  for t in "${tables[@]}"; do
    n=$("$tool" export "$file" "$t" | wc -c); bytes=$((bytes + n))
  done
  ours=$(echo "$(now) - $start" | bc)
  start=$(now)
  for t in "${tables[@]}"; do mdb-export "${opts[@]}" "$file" "$t" 2>/dev/null | wc -c >/dev/null; done
  theirs=$(echo "$(now) - $start" | bc)
  total_ours=$(echo "$total_ours + $ours" | bc); total_theirs=$(echo "$total_theirs + $theirs" | bc)
  printf '%-40s %7d %9.2f %11.3f %11.3f %7.2f\n' "$(basename "$file")" "${#tables[@]}" \
    "$(echo "$bytes / 1048576" | bc -l)" "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)"
done < <(ls -S "$samples"/*.mdb "$samples"/*.eap "$samples"/*.eapx 2>/dev/null | head -n "$count")
printf '%-40s %7s %9s %11.3f %11.3f %7.2f\n' total "" "" "$total_ours" "$total_theirs" \
  "$(echo "$total_ours / $total_theirs" | bc -l)"
