# scripts/desktop_check.sh - what gnome_check.sh and kwin_check.sh share; sourced by them after
# `set -euo pipefail`. Finds the widget in the build folder given as "$1" (default build), makes
# a temporary folder that goes, with every process started into pids, when the script exits,
# and counts the checks that fail.
name=$(basename "$0" .sh)
root=$(cd "$(dirname "$0")/.." && pwd)
widget=$(realpath "${1:-$root/build}")/bin/nolt-widget
[ -x "$widget" ] || { echo "$name: no $widget; build first" >&2; exit 1; }

tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
check() {  # what, command...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

wait_for_window() {  # awk pattern of the wmctrl line, tries 0.2 s apart; sets window
  window=
  for _ in $(seq "$2"); do
    window=$(wmctrl -l 2>/dev/null | awk "/$1/ { print \$1; exit }" || true)
    [ -n "$window" ] && break
    sleep 0.2
  done
}

check_desktop_hints() {  # prefix of each check, what a desktop is called here
  for wanted in BELOW SKIP_TASKBAR SKIP_PAGER STICKY; do
    check "$1_NET_WM_STATE_$wanted" bash -c "xprop -id $window _NET_WM_STATE | grep -q _NET_WM_STATE_$wanted"
  done
  check "${1}on every $2" bash -c "xprop -id $window _NET_WM_DESKTOP | grep -q 4294967295"
}

finish() {
  if [ "$failures" -gt 0 ]; then
    echo "$name: $failures failed"
    exit 1
  fi
  echo "$name: all passed"
}
