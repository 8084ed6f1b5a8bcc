#!/usr/bin/env bash
# The one command before pushing, and all that CI runs: set-up, format check, a normal build
# with every test, the same under AddressSanitizer and UndefinedBehaviorSanitizer, and a
# short run of every fuzz target.
#   FUZZ_SECONDS  seconds per fuzz target (default 30; 0 skips fuzzing)
#   NOLT_QUICK=1  only the normal build and its tests
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

configure_and_test() {  # build dir, extra cmake options...
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 600
}

step "build and test"
# Configured for /usr, so that the same build is also the one packaged below.
configure_and_test build -DCMAKE_INSTALL_PREFIX=/usr -DNOLT_NATIVE_MESSAGING_SCOPE=system

step "install, package, remove"
bash scripts/package_test.sh build

[ "${NOLT_QUICK:-0}" = 1 ] && exit 0

step "build and test with ASan and UBSan"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/scripts/lsan.supp:print_suppressions=0}
configure_and_test build-asan -DNOLT_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

if [ "$fuzz_seconds" -gt 0 ]; then
  step "fuzzing, ${fuzz_seconds} s per target"
  cmake -S . -B build-fuzz -G Ninja -DNOLT_FUZZ=ON -DNOLT_TESTS=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  cmake --build build-fuzz -j "$jobs" --target nolt_fuzzers
  for target in build-fuzz/fuzz/*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    echo "-- $name"
    "$target" "$corpus" -max_total_time="$fuzz_seconds" -rss_limit_mb=4096 -timeout=20 \
      -print_final_stats=1 2>&1 | grep -E '^(stat::number_of_executed_units|==|SUMMARY)' || true
    # libFuzzer leaves crash-* files behind when it finds something.
    if ls crash-* leak-* timeout-* oom-* >/dev/null 2>&1; then
      echo "fuzz target $name found a failing input:" && ls crash-* leak-* timeout-* oom-* 2>/dev/null
      exit 1
    fi
  done
fi
step "all passed"
