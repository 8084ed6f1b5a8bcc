#!/usr/bin/env bash
# Times a widget timeline over a 100,000-item snapshot against its floor (six Boost.JSON
# parses of the file and six hash-and-sort passes), measured side by side in one run. Times
# are CPU time (user and system, so page faults count), medians of five runs.
# usage: bench/widget/ratios.sh [build dir]
set -euo pipefail
build=${1:-build}
"$build/bench/timeline_bench" --benchmark_format=csv --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true 2>/dev/null |
  awk -F, '/_median"/ { split($1, n, "_"); gsub(/"/, "", n[1]); t[n[1]] = $4; unit = $5 }
    END {
      gsub(/"/, "", unit)
      printf "%12s %12s %7s\n", "timeline", "floor", "ratio"
      printf "%9.1f %s %9.1f %s %7.2f\n", t["timeline"], unit, t["floor"], unit,
             t["timeline"] / t["floor"]
    }'
