#!/usr/bin/env bash
# The one command before pushing, and all that CI runs: set-up, format check, a Release build
# with every test, installing and packaging it, clang-tidy over what changed, a build under
# AddressSanitizer and UndefinedBehaviorSanitizer with every test, a short run of every fuzz target, and the
# benchmarks' figures (printed for people to read; speed is never a test).
#   FUZZ_SECONDS  seconds per fuzz target (default 30; 0 skips fuzzing)
#   NOLT_BENCH=0  no benchmarks
#   NOLT_TIDY=all clang-tidy over every file, not only those reading what changed
#   NOLT_QUICK=1  only the Release build, its tests, the package test and clang-tidy
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}

step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

step "set-up"
bash scripts/setup.sh

step "format check"
bash scripts/format.sh --check

# The presets (CMakePresets.json) name each build: its folder, type and options. Warnings stop
# every build here (NOLT_WERROR).
configure_and_test() {  # preset, extra cmake options...
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
}

step "Release build and test"
# Configured for /usr, so that the same build is also the one packaged below.
# The benchmarks are built with it, and run last, when nothing else is running.
configure_and_test release -DCMAKE_INSTALL_PREFIX=/usr -DNOLT_NATIVE_MESSAGING_SCOPE=system \
  -DNOLT_BENCHMARKS=ON

step "install, package, remove"
bash scripts/package_test.sh build

step "clang-tidy"
# Warnings are errors. A whole run costs 13 CPU-minutes (7 on two idle cores), so CI checks
# only the files that read what the change under test touched: what this branch changed since
# it left main, or on main what the last commit or merge brought. NOLT_TIDY=all checks every
# file, as does a clone without that history.
if [ "${NOLT_TIDY:-}" = all ]; then
  bash scripts/tidy.sh build
else
  since=
  head=$(git rev-parse -q --verify HEAD 2>/dev/null || true)
  for ref in origin/main main; do
    base=$(git merge-base HEAD "$ref" 2>/dev/null || true)
    if [ -n "$base" ] && [ "$base" != "$head" ]; then
      since=$base
      break
    fi
  done
  [ -n "$since" ] || since=$(git rev-parse -q --verify HEAD^1 2>/dev/null || true)
  if [ -n "$since" ]; then
    bash scripts/tidy.sh build --since "$since"
  else
    bash scripts/tidy.sh build
  fi
fi

[ "${NOLT_QUICK:-0}" = 1 ] && exit 0

step "build and test with ASan and UBSan"
# The sanitizers' settings and the leak suppressions (scripts/lsan.supp) come with the tests.
configure_and_test asan

if [ "$fuzz_seconds" -gt 0 ]; then
  step "fuzzing, ${fuzz_seconds} s per target"
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  # libFuzzer writes what fails (crash-*, leak-*, timeout-*, oom-*) to its artifact prefix.
  artifacts=build-fuzz/artifacts
  rm -rf "$artifacts"
  failed=()
  for target in build-fuzz/fuzz/*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus" "$artifacts/$name"
    echo "-- $name"
    status=0
    "$target" "$corpus" -max_total_time="$fuzz_seconds" -rss_limit_mb=4096 -timeout=20 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$name/" >"$artifacts/$name.log" 2>&1 ||
      status=$?
    grep -E '^(stat::number_of_executed_units|==|SUMMARY)' "$artifacts/$name.log" || true
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$artifacts/$name")" ]; then
      echo "fuzz target $name failed (status $status); its log: $artifacts/$name.log"
      ls "$artifacts/$name"
      failed+=("$name")
    fi
  done
  if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that found a failing input: ${failed[*]}"
    exit 1
  fi
fi
if [ "${NOLT_BENCH:-1}" != 0 ]; then
  step "benchmarks"
  bash scripts/bench.sh build
fi
step "all passed"
