#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy over every source file of a configured build (its
# compile_commands.json), warnings as errors. usage: scripts/tidy.sh [BUILD]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cd "$root"
# The project's own files only: not what the build generated (moc, QML caches, protocols).
# Headers of the project's folders are checked where they are included; generated ones and the
# system's are not.
folders="platform|wire|cli|capture|safari|NoltShare|widget|host|tests|bench"
run-clang-tidy -p "$build" -quiet -j "$(nproc)" -header-filter="^$root/($folders)/" \
  "^$root/(?!build)" >"$build/tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/tidy.log" | sort -u | head -50
  echo "clang-tidy found the problems above; the whole log is $build/tidy.log"
  exit 1
}
echo "clang-tidy: no warnings"
