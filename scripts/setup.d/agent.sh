#!/usr/bin/env bash
# npm packages of the agent server's end-to-end test and benchmark: the MCP TypeScript SDK,
# at the versions pinned in each folder's package-lock.json. Safe to run again.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
for dir in tests/agent bench/agent; do
  lock="$root/$dir/package-lock.json"
  stamp="$root/$dir/node_modules/.package-lock.json"
  # npm ci starts from scratch each time; skip it when the installed tree matches the lock.
  if [ -f "$stamp" ] && [ "$stamp" -nt "$lock" ]; then continue; fi
  (cd "$root/$dir" && npm ci --no-audit --no-fund --loglevel=error)
done
