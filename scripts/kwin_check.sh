#!/usr/bin/env bash
# The widget under KWin (kwin_wayland --virtual, with Xwayland), for a person to run: installing
# KWin takes minutes, so CI does not. Checks that natively the widget asks for a bottom-layer
# layer-shell surface without keyboard interactivity and KWin takes it without a protocol error,
# and that through XWayland (QT_QPA_PLATFORM=xcb) KWin keeps it below other windows, on every
# desktop (also after a switch to a second one) and out of the task bar and pager.
# Takes the build folder (default build). Needs root for apt-get if KWin is missing.
set -euo pipefail
# shellcheck source=scripts/desktop_check.sh
source "$(dirname "$0")/desktop_check.sh"
if ! command -v kwin_wayland >/dev/null || ! command -v Xwayland >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    kwin-wayland xwayland x11-utils xdotool wmctrl >/dev/null
fi

# kwin_wayland carries file capabilities, which a container without them refuses to execute; a
# copy has none. Its platform plugin wants the program to be called kwin_wayland.
mkdir -p "$tmp/bin" "$tmp/run" "$tmp/home"
chmod 700 "$tmp/run"
cp "$(command -v kwin_wayland)" "$tmp/bin/kwin_wayland"
env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" \
  "$tmp/bin/kwin_wayland" --virtual --xwayland --width 1024 --height 768 --socket kwin-check \
  >"$tmp/kwin.log" 2>&1 &
pids+=($!)
kwin=$!
# The display is the one of the Xwayland that this KWin started.
display=
for _ in $(seq 100); do
  xwayland=$(pgrep -P "$kwin" -x Xwayland || true)
  [ -n "$xwayland" ] && display=$(tr '\0' '\n' <"/proc/$xwayland/cmdline" | grep -m 1 '^:[0-9]*$' || true)
  [ -S "$tmp/run/kwin-check" ] && [ -n "$display" ] &&
    xprop -display "$display" -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.2
done
[ -n "$display" ] || { cat "$tmp/kwin.log"; echo "kwin_check: KWin did not start" >&2; exit 1; }
echo "$("$tmp/bin/kwin_wayland" --version 2>/dev/null | tail -n 1) on Xwayland display $display"

run_widget() {  # log file, extra environment...
  local log=$1
  shift
  env -i PATH=/usr/bin:/bin HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" WAYLAND_DISPLAY=kwin-check \
    DISPLAY="$display" XDG_SESSION_TYPE=wayland "$@" "$widget" --name "kwin-$RANDOM" >"$log" 2>&1 &
  pids+=($!)
}

# Natively: the widget's own Wayland requests.
run_widget "$tmp/native.log" WAYLAND_DEBUG=client
sleep 4
check "natively a layer surface on the bottom layer" \
  grep -q 'get_layer_surface(new id zwlr_layer_surface_v1@[0-9]*, wl_surface@[0-9]*, nil, 1, "nolt-widget")' "$tmp/native.log"
check "without keyboard interactivity" grep -q 'set_keyboard_interactivity(0)' "$tmp/native.log"
check "configured, and drawn" grep -q 'wl_surface@[0-9]*.attach(wl_buffer' "$tmp/native.log"
check "no protocol error" bash -c "! grep -q 'wl_display@1.error' '$tmp/native.log'"

# Through XWayland: what KWin made of the desktop hints.
run_widget "$tmp/x11.log" QT_QPA_PLATFORM=xcb
export DISPLAY=$display
wait_for_window ' Nolt .* kwin-' 50
[ -n "$window" ] || { echo "kwin_check: no widget window on $display" >&2; exit 1; }
sleep 1
state() { xprop -id "$window" _NET_WM_STATE; }
desktop() { xprop -id "$window" _NET_WM_DESKTOP; }
check_desktop_hints "through XWayland: " desktop
check "through XWayland: transient for no window" bash -c "xprop -id $window WM_TRANSIENT_FOR | grep -q 'not found'"
wmctrl -n 2
sleep 0.5
wmctrl -s 1
sleep 0.5
check "through XWayland: still on every desktop on desktop 2" bash -c "xprop -id $window _NET_WM_DESKTOP | grep -q 4294967295"
echo "$(state)"
echo "$(desktop)"
finish
