#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: it only asks apt for
# packages that are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v -E '^\s*(#|$)' "$here/packages.txt")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Further set-up of each area (npm packages for end-to-end tests, ...), in name order.
for step in "$here"/setup.d/*.sh; do
  if [ -e "$step" ]; then bash "$step"; fi
done
