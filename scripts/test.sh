#!/usr/bin/env bash
# Checks the documentation's links, installs everything the build and the tests need,
# builds everything, checks the format of every C++ source, and runs the whole test suite.
# Ends with CTest's summary line; fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/check-links.sh
bash scripts/build.sh
bash scripts/check-format.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 600
