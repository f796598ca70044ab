#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev
  zlib1g-dev qt6-base-dev libcurl4-openssl-dev fonts-liberation
  spamassassin
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
