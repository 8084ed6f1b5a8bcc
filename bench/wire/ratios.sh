#!/usr/bin/env bash
# Runs the JSON benchmarks and prints JSONValue's time per document against Boost.JSON's.
# usage: bench/wire/ratios.sh [build dir]
set -euo pipefail
build=${1:-build}
"$build/bench/json_value_bench" --benchmark_format=csv --benchmark_min_time=0.5 2>/dev/null |
  awk -F, '/^"(decode|encode)/ {
      split($1, n, "/"); gsub(/"/, "", n[1]); name = n[1]; arg = n[2] + 0; gsub(/"/, "", arg)
      t[name, arg] = $3; label[arg] = $NF
    }
    END {
      split("small_request search_200 image_5MB", docs, " ")
      printf "%-14s %14s %14s %7s %14s %14s %7s\n", "document", "decode ns", "boost ns", "ratio",
             "encode ns", "boost ns", "ratio"
      for (a = 0; a < 3; a++)
        printf "%-14s %14.0f %14.0f %7.2f %14.0f %14.0f %7.2f\n", docs[a + 1],
               t["decodeJSONValue", a], t["decodeBoost", a],
               t["decodeJSONValue", a] / t["decodeBoost", a],
               t["encodeJSONValue", a], t["encodeBoost", a],
               t["encodeJSONValue", a] / t["encodeBoost", a]
    }'
