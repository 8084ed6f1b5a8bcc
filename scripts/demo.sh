#!/usr/bin/env bash
# Sets up, builds, and shows the whole system at work on one machine: nolt-host serving a
# sample library in a temporary HOME with a session bus of its own, the command line asking
# it, a page saved through the browser extension's native host arriving in search, and the
# widget rendered to build/demo-widget.png. Nothing outside the temporary folder is touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

demo=$(mktemp -d)
cleanup() {
  [ -n "${host_pid:-}" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  [ -n "${bus_pid:-}" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$demo"
}
trap cleanup EXIT
export HOME=$demo/home XDG_RUNTIME_DIR=$demo/run XDG_DATA_HOME=$demo/home/.local/share
export XDG_DATA_DIRS=$root/build/share:/usr/local/share:/usr/share QT_QPA_PLATFORM=offscreen
export PATH=$root/build/bin:$PATH
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS

show() {
  echo
  echo "\$ $*"
  "$@"
}

nolt-host --demo &
host_pid=$!
for _ in $(seq 150); do
  grep -qs running "$XDG_RUNTIME_DIR/app.nolt.Nolt.instance" && break
  sleep 0.1
done

show nolt search warm
show nolt spaces
show nolt taste --space Personal

# The browser extension's native host speaks length-prefixed JSON on its standard input.
message='{"action":"savePage","url":"https://example.com/teal-lamp","title":"Teal desk lamp","tags":["lamp"]}'
echo
echo "\$ nolt-safari   # savePage https://example.com/teal-lamp, as the browser sends it"
perl -e 'print pack("L", length $ARGV[0]), $ARGV[0]' "$message" | nolt-safari | tail -c +5
echo
for _ in $(seq 50); do
  nolt search '#lamp' 2>/dev/null | grep -q . && break
  sleep 0.1
done
show nolt search '#lamp'

show nolt-widget render --family large "$root/build/demo-widget.png"
echo "The widget, as the desktop shows it: build/demo-widget.png"
