#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent: when
# everything is present it asks no package server and returns at once.
set -euo pipefail

packages=(
  g++ cmake make ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins
  libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev
  # The station's report, written and read as JSON.
  nlohmann-json3-dev
  # The desktop program's tests in a private X session, and the desktop file's check.
  xvfb openbox xdotool x11-utils libx11-dev desktop-file-utils
  # The Windows build of the headless runner (MinGW-w64, posix thread model) and Wine
  # to test it: build-windows.sh and the Wine tests.
  g++-mingw-w64-x86-64-posix wine64 zip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
