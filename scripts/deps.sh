#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Debian 12; runs apt-get as root (or through sudo).
set -euo pipefail

packages=(cmake g++ ninja-build qtbase5-dev libgtest-dev zlib1g-dev "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

run() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
run apt-get update -qq
run apt-get install -y -qq --no-install-recommends "${missing[@]}"
