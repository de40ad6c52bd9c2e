#!/usr/bin/env bash
# Installs the Debian packages of one set. Idempotent: when everything is present it asks no
# package server and returns at once.
#
#   bash scripts/setup.sh run     the programs only: compiler, CMake, Ninja, Qt and the
#                                 header-only JSON library (run.sh)
#   bash scripts/setup.sh [test]  everything: the programs, the test suite, the benchmarks and
#                                 the Windows cross-build with Wine to test it (the default)
set -euo pipefail

set_name=${1:-test}
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins
  # The header-only libraries: the station's report, written and read as JSON, and the
  # programs' options.
  nlohmann-json3-dev libcli11-dev
)
case "$set_name" in
  run) ;;
  test)
    packages+=(
      make
      # The format check of every C++ source (check-format.sh).
      clang-format
      libgtest-dev libgmock-dev libbenchmark-dev libmodbus-dev
      # The desktop program's tests in a private X session, and the desktop file's check.
      xvfb openbox xdotool x11-utils libx11-dev desktop-file-utils
      # The Windows build of the runner and the desktop program (MinGW-w64, posix thread
      # model) and Wine to test them: build-windows.sh and the Wine tests.
      g++-mingw-w64-x86-64-posix wine64 zip
    )
    ;;
  *) echo "usage: setup.sh [run|test]" >&2; exit 2 ;;
esac

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
