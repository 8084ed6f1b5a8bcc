#!/usr/bin/env bash
# Sets up, builds, and shows the programs at work against a host in a temporary HOME.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

demo=$(mktemp -d)
trap 'kill "${host_pid:-}" 2>/dev/null || true; rm -rf "$demo"' EXIT
export HOME=$demo/home XDG_RUNTIME_DIR=$demo/run XDG_DATA_HOME=$demo/home/.local/share
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

echo
echo "Built programs:"
ls build/bin

if [ -x build/tests/test_host ] && [ -x build/bin/nolt ]; then
  cat > "$demo/replies.json" <<'JSON'
{"search": "{\"result\":{\"items\":[{\"id\":\"6F9619FF-8B86-D011-B42D-00C04FC964FF\",\"title\":\"Red lounge chair\",\"tags\":[\"red\",\"chair\"]}],\"total\":1}}",
 "spaces": "{\"result\":[{\"id\":\"1B4E28BA-2FA1-11D2-883F-0016D3CCA427\",\"emoji\":\"🏠\",\"name\":\"Personal\"}]}"}
JSON
  build/tests/test_host --replies "$demo/replies.json" --record "$demo/requests.log" \
    --ready-file "$demo/ready" &
  host_pid=$!
  for _ in $(seq 50); do [ -e "$demo/ready" ] && break; sleep 0.1; done
  echo
  echo "\$ nolt search red chair --limit 5"
  build/bin/nolt search red chair --limit 5
  echo "\$ nolt spaces"
  build/bin/nolt spaces
  echo
  echo "What the host received:"
  cat "$demo/requests.log"
fi
