#!/usr/bin/env bash
# The widget under GNOME Shell (headless, with a virtual monitor and Xwayland), for a person to
# run: installing GNOME Shell takes minutes, so CI does not. mutter offers no layer shell, so the
# widget, started as a Wayland session starts it, must choose XWayland by itself, and mutter
# must keep it below other windows, on every workspace and out of the task bar and pager.
# Takes the build folder (default build). Needs root for apt-get if GNOME Shell is missing.
set -euo pipefail
# shellcheck source=scripts/desktop_check.sh
source "$(dirname "$0")/desktop_check.sh"
if ! command -v gnome-shell >/dev/null || ! command -v Xwayland >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    gnome-shell xwayland x11-utils wmctrl dbus-daemon >/dev/null
fi

mkdir -p "$tmp/run" "$tmp/home"
chmod 700 "$tmp/run"
# The shell connects to the system bus at start; a private one stands in for it.
dbus-daemon --session --address="unix:path=$tmp/system_bus" --nofork </dev/null >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" \
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$tmp/system_bus" \
  dbus-run-session -- gnome-shell --headless --wayland --virtual-monitor 1024x768 \
  --wayland-display gnome-check >"$tmp/shell.log" 2>&1 </dev/null &
pids+=($!)
display=
for _ in $(seq 150); do
  display=$(grep -o 'Using public X11 display :[0-9]*' "$tmp/shell.log" | grep -o ':[0-9]*' || true)
  auth=$(ls "$tmp"/run/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1 || true)
  [ -S "$tmp/run/gnome-check" ] && [ -n "$display" ] && [ -n "$auth" ] && break
  sleep 0.2
done
[ -n "$display" ] && [ -n "$auth" ] || { cat "$tmp/shell.log"; echo "gnome_check: GNOME Shell did not start" >&2; exit 1; }
grep -o 'using mutter [0-9.]*' "$tmp/shell.log" | head -n 1
export DISPLAY=$display XAUTHORITY=$auth

# As a Wayland session starts it: no QT_QPA_PLATFORM.
env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=gnome-check \
  DISPLAY="$display" XAUTHORITY="$auth" XDG_SESSION_TYPE=wayland \
  "$widget" --name gnome-check >"$tmp/widget.log" 2>&1 &
pids+=($!)
wait_for_window ' Nolt .* gnome-check' 75
check "the widget chose XWayland (its window is an X11 window)" test -n "$window"
[ -n "$window" ] || exit 1
sleep 1
check_desktop_hints "" workspace
xprop -id "$window" _NET_WM_STATE _NET_WM_DESKTOP
finish
