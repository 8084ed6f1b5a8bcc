#!/usr/bin/env bash
# Installs the programs both ways people do and takes them away again: `cmake --install` into a
# staging folder, where every file must land in its place and the installed nolt must run; then
# the .deb, which must pass lintian, install with apt-get, run, and remove without a trace.
# Needs root for apt-get (CI runs as root). Takes the build folder to package (scripts/test.sh
# passes its own, configured for /usr), else configures build-package (the package preset).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Absolute, since apt-get takes a relative path without "./" for a package name.
build=$(realpath -m "${1:-$root/build-package}")
jobs=$(nproc)

step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }
fail() {
  echo "package_test: $*" >&2
  exit 1
}

tmp=$(mktemp -d)
cleanup() {
  # A failed run must not leave the package installed on the machine.
  if dpkg-query -W nolt >/dev/null 2>&1; then
    apt-get purge -y nolt >/dev/null 2>&1 || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

# Every file the programs need, relative to the root of the system.
files=(
  usr/bin/nolt
  usr/bin/nolt-safari
  usr/bin/nolt-share
  usr/bin/nolt-widget
  usr/bin/nolt-host
  usr/share/applications/app.nolt.Nolt.desktop
  usr/share/applications/nolt-share.desktop
  usr/share/applications/nolt-widget.desktop
  etc/xdg/autostart/nolt-widget.desktop
  usr/share/icons/hicolor/scalable/apps/app.nolt.Nolt.svg
  usr/lib/mozilla/native-messaging-hosts/app.nolt.web.json
  etc/chromium/native-messaging-hosts/app.nolt.web.json
  usr/share/nolt/browser-extension/manifest.json
  "usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/capture@nolt.app/manifest.json"
  usr/share/kio/servicemenus/nolt-share.desktop
  usr/share/Thunar/sendto/nolt-share.desktop
  usr/share/nemo/actions/nolt-share.nemo_action
  usr/share/file-manager/actions/nolt-share.desktop
  usr/share/bash-completion/completions/nolt
  usr/share/zsh/vendor-completions/_nolt
  usr/share/fish/vendor_completions.d/nolt.fish
  usr/share/doc/nolt/copyright
  usr/share/doc/nolt/changelog.gz
  usr/share/lintian/overrides/nolt
)
manual=usr/share/man/man1/nolt.1

check_files() {  # root folder, manual page name
  local base=$1 file
  for file in "${files[@]}" "$2"; do
    [ -f "$base/$file" ] || fail "/$file is not installed"
  done
  for file in "${files[@]:0:5}"; do
    [ -x "$base/$file" ] || fail "/$file is not executable"
  done
}

check_usage() {  # nolt program
  local out
  out=$("$1" help) || fail "$1 help failed"
  grep -q '^Usage: nolt' <<<"$out" || fail "$1 help printed no usage: $out"
}

step "build"
if [ $# -eq 0 ]; then
  cmake --preset package >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr -DNOLT_NATIVE_MESSAGING_SCOPE=system >/dev/null
fi
cmake --build "$build" -j "$jobs"

step "cmake --install into a staging folder"
stage=$tmp/stage
DESTDIR=$stage cmake --install "$build" >/dev/null
check_files "$stage" "$manual"
stray=$(cd "$stage" && find . -type f | grep -v -e '^\./usr/' -e '^\./etc/' || true)
[ -z "$stray" ] || fail "files outside /usr and /etc: $stray"
grep -q '^Exec=/usr/bin/nolt-host ' "$stage/usr/share/applications/app.nolt.Nolt.desktop" ||
  fail "the host's desktop entry does not start /usr/bin/nolt-host"
for manifest in "$stage"/usr/lib/mozilla/native-messaging-hosts/app.nolt.web.json \
  "$stage"/etc/chromium/native-messaging-hosts/app.nolt.web.json; do
  grep -q '"path": *"/usr/bin/nolt-safari"' "$manifest" || fail "$manifest does not name /usr/bin/nolt-safari"
done
check_usage "$stage/usr/bin/nolt"

step "desktop entries, file-manager actions and manual page"
for entry in "$stage"/usr/share/applications/*.desktop "$stage"/etc/xdg/autostart/*.desktop \
  "$stage"/usr/share/Thunar/sendto/*.desktop; do
  out=$(desktop-file-validate "$entry" 2>&1) || fail "$entry: $out"
  [ -z "$out" ] || fail "$entry: $out"
done
# A share target never claims file types among the applications, or it could become the
# program that opens them.
if grep -l '^MimeType=' "$stage"/usr/share/applications/nolt-*.desktop; then
  fail "a desktop entry of the share dialog or the widget names file types"
fi
# The other action files are not application entries, so desktop-file-validate does not apply:
# each must have its group, its type and run nolt-share on the selected files.
check_action() {  # file, group, line...
  local file=$stage/$1 line
  shift
  for line in "$@" 'Exec=nolt-share %F'; do
    grep -qxF -- "$line" "$file" || fail "$file has no line “$line”"
  done
}
check_action usr/share/kio/servicemenus/nolt-share.desktop '[Desktop Entry]' 'Type=Service' \
  'MimeType=all/allfiles;' 'Actions=saveToNolt;' '[Desktop Action saveToNolt]'
check_action usr/share/nemo/actions/nolt-share.nemo_action '[Nemo Action]' 'Selection=notnone'
check_action usr/share/file-manager/actions/nolt-share.desktop '[Desktop Entry]' 'Type=Action' \
  'Profiles=files;' '[X-Action-Profile files]' 'MimeTypes=all/allfiles;'
grep -q '"id": "capture@nolt.app"' \
  "$stage/usr/share/mozilla/extensions/{ec8030f7-c20a-464f-9b0e-13a3a9e97384}/capture@nolt.app/manifest.json" ||
  fail "the extension in Firefox's folder is not capture@nolt.app"
out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$stage/$manual" 2>&1 >/dev/null) ||
  fail "man could not format nolt.1"
[ -z "$out" ] || fail "nolt.1: $out"

step "the .deb"
rm -f "$build"/nolt_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/nolt_*_"$(dpkg --print-architecture)".deb)
[ -f "${debs[0]}" ] || fail "cpack made no nolt_<version>_<arch>.deb"
deb=${debs[0]}
echo "$(basename "$deb"): depends on $(dpkg-deb -f "$deb" Depends)"
# Errors fail the run; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"

step "default programs before and after installing"
# A system root with a viewer for every type asked about, named so that the desktop database
# lists it after nolt-share, whose entry must never become a default. xdg-mime answers from
# that root alone: its mimeapps.list (with and without one) and the database's order.
types=(application/pdf image/png text/plain video/mp4 image/webp application/octet-stream)
defaults() {  # root
  local type
  update-desktop-database "$1/usr/share/applications"
  for type in "${types[@]}"; do
    printf '%s=%s\n' "$type" "$(env -i PATH=/usr/bin:/bin HOME="$1/home" XDG_DATA_HOME="$1/home/data" \
      XDG_CONFIG_HOME="$1/home/config" XDG_DATA_DIRS="$1/usr/share" XDG_CONFIG_DIRS="$1/etc/xdg" \
      xdg-mime query default "$type")"
  done
}
for list in without with; do
  sysroot=$tmp/sysroot-$list
  mkdir -p "$sysroot/usr/share/applications" "$sysroot/home"
  printf '%s\n' '[Desktop Entry]' Type=Application Name=Viewer 'Exec=viewer %f' \
    'MimeType=application/pdf;image/png;text/plain;video/mp4;' \
    >"$sysroot/usr/share/applications/org.example.Viewer.desktop"
  if [ $list = with ]; then
    printf '%s\n' '[Default Applications]' application/pdf=org.example.Viewer.desktop \
      image/png=org.example.Viewer.desktop >"$sysroot/usr/share/applications/mimeapps.list"
  fi
  before=$(defaults "$sysroot")
  dpkg-deb -x "$deb" "$sysroot"
  after=$(defaults "$sysroot")
  [ "$before" = "$after" ] ||
    fail "installing changed the default programs ($list a defaults list): $before → $after"
  grep -q '^application/pdf=org.example.Viewer.desktop$' <<<"$after" ||
    fail "xdg-mime did not find the viewer: $after"
done

step "apt-get install"
apt-get install -y "$deb" >/dev/null
check_files "" "$manual.gz"
check_usage /usr/bin/nolt
home=$tmp/home
mkdir -p "$home"
# The programs run once in a home of their own, away from any session bus.
run() {
  env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen \
    DBUS_SESSION_BUS_ADDRESS=unix:path="$home/no-bus" timeout 60 "$@"
}
out=$(run nolt-widget --help) && [ -n "$out" ] || fail "nolt-widget --help failed"
run nolt-widget timeline >/dev/null || fail "nolt-widget timeline failed"
out=$(run nolt-host --help) && [ -n "$out" ] || fail "nolt-host --help failed"
run nolt-safari </dev/null || fail "nolt-safari failed on an empty input"
for program in nolt nolt-host nolt-share nolt-widget; do
  out=$(run "$program" --version) || fail "$program --version failed"
  grep -q "^$program [0-9]" <<<"$out" || fail "$program --version printed “$out”"
done
# The share dialog opens its window on a private display under a window manager, and Escape,
# typed there, cancels it: status 1 and no errors.
echo "a note" >"$home/note.txt"
escape_share() {  # file
  openbox --sm-disable 2>/dev/null &
  local share window status=0
  nolt-share "$1" &
  share=$!
  window=$(xdotool search --sync --onlyvisible --pid "$share" | head -n 1)
  xdotool windowactivate --sync "$window" key Escape
  wait "$share" || status=$?
  return "$status"
}
status=0
err=$(run env QT_QPA_PLATFORM=xcb xvfb-run -a bash -c "$(declare -f escape_share); escape_share \"\$1\"" \
  - "$home/note.txt" 2>&1 >/dev/null) || status=$?
[ "$status" = 1 ] || fail "nolt-share ended with $status after Escape: $err"
if grep -q '^nolt-share:' <<<"$err"; then fail "$err"; fi

step "apt-get remove, then purge"
apt-get remove -y nolt >/dev/null
# dpkg keeps the administrator's files under /etc until the package is purged.
for file in "${files[@]}" "$manual.gz"; do
  case $file in etc/*) continue ;; esac
  [ ! -e "/$file" ] || fail "/$file is still there after apt-get remove"
done
apt-get purge -y nolt >/dev/null
for file in "${files[@]}"; do
  [ ! -e "/$file" ] || fail "/$file is still there after apt-get purge"
done
echo "package test passed"
