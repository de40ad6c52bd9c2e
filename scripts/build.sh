#!/usr/bin/env bash
# Configures (once) and builds the project into build/, binaries in build/bin/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja "$@"
fi
cmake --build build -j2
