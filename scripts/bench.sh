#!/usr/bin/env bash
# The figures the README quotes, measured on this machine: each benchmark beside its floor,
# side by side in one run. BUILD is a Release build configured with -DNOLT_BENCHMARKS=ON.
# usage: scripts/bench.sh [BUILD]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cd "$root"
cmake --build "$build" --target nolt nolt-host cli_bench_programs agent_bench_programs \
  timeline_bench
echo "-- nolt search and nolt add, against a static C client and the streamed floor"
python3 bench/cli/whole_process.py "$build" --add-runs 11
echo "-- the real nolt-host taking a 200 MiB add"
python3 bench/host/host_add.py "$build"
echo "-- the real nolt-host holding 20,000 items: import, start and every command, beside plain SQL"
python3 bench/host/scale.py "$build" --sizes 20000
echo "-- nolt mcp, against a bare line loop"
python3 bench/agent/mcp_bench.py "$build"
echo "-- the widget's timeline, against its floor"
bash bench/widget/ratios.sh "$build"
