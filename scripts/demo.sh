#!/usr/bin/env bash
# Sets up, builds, and shows the whole system at work on one machine: nolt-host serving a
# sample library in a temporary HOME with a session bus of its own, the command line asking
# it, a page saved through the browser extension's native host arriving in search, and the
# widget rendered to build/demo-widget.png. Nothing outside the temporary folder is touched.
# Each set-up step prints one line; what apt, npm, CMake and the compiler say goes to
# build/demo-setup.log, whose end is shown when a step fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mkdir -p build
log=$root/build/demo-setup.log
: >"$log"
setup_step() {  # what, command…
  echo "$1"
  shift
  if ! "$@" >>"$log" 2>&1; then
    echo "That failed. The end of build/demo-setup.log:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}
setup_step "Installing the Debian and npm packages it needs (output in build/demo-setup.log)" \
  bash scripts/setup.sh
setup_step "Configuring the build" cmake -S . -B build -G Ninja
setup_step "Building the programs (some minutes the first time)" cmake --build build

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

echo "Starting nolt-host on a sample library"
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
