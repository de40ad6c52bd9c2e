#!/usr/bin/env bash
# Builds the project into build/, binaries in build/bin/.
#
#   bash scripts/build.sh programs   installs the programs' packages (setup.sh run) and builds
#                                    only bootloader, bootloader-cli, unitsim and package-info;
#                                    a first configure leaves the test suite, the benchmarks
#                                    and the Wine tests out
#   bash scripts/build.sh [ARGS]     installs everything (setup.sh test) and builds everything;
#                                    ARGS go to a first configure
#
# One build folder serves both: a folder that build.sh programs configured (it leaves
# build/.programs-only behind) gets the suite, the benchmarks and the Wine tests turned on by
# the next full build, which then adds what is missing and rebuilds nothing else. Options a
# folder was configured with otherwise stay as they are.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = programs ]; then
  bash scripts/setup.sh run
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DBOOTLOADER_BUILD_TESTS=OFF -DBOOTLOADER_BUILD_BENCH=OFF \
      -DBOOTLOADER_WINE_TESTS=OFF
    touch build/.programs-only
  fi
  cmake --build build -j2 --target bootloader bootloader-cli unitsim package-info
  exit 0
fi

bash scripts/setup.sh test
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja "$@"
elif [ -f build/.programs-only ]; then
  cmake -S . -B build -DBOOTLOADER_BUILD_TESTS=ON -DBOOTLOADER_BUILD_BENCH=ON \
    -DBOOTLOADER_WINE_TESTS=ON
  rm build/.programs-only
fi
cmake --build build -j2
